// SPDX-License-Identifier: GPL-3.0-or-later
#include "AsyncTest.h"
#include "EventStatusTesting.h"
#include "FakeEventServer.h"
#include "FakeTransport.h"
#include "ManualClock.h"
#include "auth/InMemoryStores.h"
#include "client/ApiClient.h"
#include "client/Wakeup.h"
#include "events/DriveEventStream.h"

#include <QTest>
#include <QTimer>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

using Status = DriveEventStream::Status;
using Statuses = QList<Status>;
using Answer = FakeEventServer::Answer;
using Answers = QList<Answer>;
using Ending = FakeEventServer::Ending;
using Reply = FakeTransport::Reply;
using Chunks = QList<QByteArray>;

Q_DECLARE_METATYPE(Statuses)
Q_DECLARE_METATYPE(Answers)
Q_DECLARE_METATYPE(Reply)
Q_DECLARE_METATYPE(Chunks)

namespace {

const QString oldToken = QStringLiteral("token-old");
const QString newToken = QStringLiteral("token-new");

Reply loginAccepted() {
    return Reply::ok("{\"access_token\":\"" + newToken.toUtf8()
                     + "\",\"email\":\"ana@orvelan.net\"}");
}

// Gives the event loop one turn, as a real handler that awaits something would.
QCoro::Task<> nextTurn() {
    Wakeup wakeup;
    wakeup.fire();
    co_await wakeup.wait();
}

// One run of the stream against the loopback server, with a client whose sign-in goes to a
// scripted transport and whose waits go to a manual clock. Records what the handlers saw.
struct Harness {
    FakeEventServer server;
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<InMemorySessionStore> store;
    std::shared_ptr<ApiClient> client;
    CancellationSource cancel;

    Statuses statuses;
    int changes = 0;
    int changesRunning = 0;
    int mostChangesRunning = 0;
    std::function<void(const Status &)> afterStatus;
    std::function<void()> afterChange;

    explicit Harness(bool signedIn = true) {
        if (signedIn)
            store = std::make_shared<InMemorySessionStore>(
                DriveSession{QStringLiteral("ana@orvelan.net"), oldToken, QStringLiteral("pw")});
        else
            store = std::make_shared<InMemorySessionStore>();
        client = ApiClient::create(
            DriveConfiguration(QUrl(QStringLiteral("http://127.0.0.1:9/api/v1")), 3, 400ms, 60),
            transport, store, std::make_shared<InMemoryTrustedDeviceStore>(), clock);
        runAsync(client->restoreSession());
    }

    void cancelAfterStatuses(qsizetype count) {
        afterStatus = [this, count](const Status &) {
            if (statuses.size() >= count)
                cancel.cancel();
        };
    }

    void run(std::optional<std::chrono::milliseconds> idleTimeout = std::nullopt,
             std::optional<QUrl> baseURL = std::nullopt) {
        const DriveEventStream stream(client, baseURL.value_or(server.baseURL()), 30, idleTimeout);
        const auto onChange = [this]() -> QCoro::Task<> {
            mostChangesRunning = std::max(mostChangesRunning, ++changesRunning);
            co_await nextTurn();
            --changesRunning;
            ++changes;
            if (afterChange)
                afterChange();
        };
        const auto onStatus = [this](Status status) -> QCoro::Task<> {
            statuses.append(status);
            if (afterStatus)
                afterStatus(status);
            co_return;
        };
        runAsync(stream.run(onChange, onStatus, cancel.token()));
    }

    QList<QByteArray> authorizations() const {
        QList<QByteArray> headers;
        for (const auto &request : server.requests())
            headers.append(request.header("Authorization").value_or(QByteArray()));
        return headers;
    }
};

} // namespace

class TestDriveEventStream : public QObject {
    Q_OBJECT

private slots:
    void streamAddress_data();
    void streamAddress();
    void request();
    void reconnection_data();
    void reconnection();
    void droppedConnection();
    void silentSignIn_data();
    void silentSignIn();
    void changes_data();
    void changes();
    void idleTimeout_data();
    void idleTimeout();
    void cancellation_data();
    void cancellation();
};

void TestDriveEventStream::streamAddress_data() {
    QTest::addColumn<QString>("base");
    QTest::addColumn<qint64>("ping");
    QTest::addColumn<QString>("expected"); // empty: no usable address

    QTest::newRow("host only") << "https://push.example.net" << qint64(30)
                               << "https://push.example.net/api/v1/jmap/events/web?ping=30";
    QTest::newRow("trailing slash") << "https://push.example.net/" << qint64(30)
                                    << "https://push.example.net/api/v1/jmap/events/web?ping=30";
    QTest::newRow("base with a path")
        << "https://example.net:8443/push" << qint64(5)
        << "https://example.net:8443/push/api/v1/jmap/events/web?ping=5";
    QTest::newRow("empty") << "" << qint64(30) << "";
    QTest::newRow("relative") << "push.example.net" << qint64(30) << "";
    QTest::newRow("no host") << "https://" << qint64(30) << "";
}

void TestDriveEventStream::streamAddress() {
    QFETCH(QString, base);
    QFETCH(qint64, ping);
    QFETCH(QString, expected);

    const DriveEventStream stream(nullptr, QUrl(base), ping);
    const std::optional<QUrl> url = stream.streamURL();
    QCOMPARE(url ? url->toString() : QString(), expected);
}

// The request as it reaches the server: address, token, media type. The idle timeout follows
// the keep-alive interval.
void TestDriveEventStream::request() {
    Harness harness;
    harness.server.enqueue(Answer::stream({}, Ending::keepOpen));
    harness.cancelAfterStatuses(1);
    harness.run();

    QCOMPARE(harness.server.requests().size(), 1);
    const auto &request = harness.server.requests().first();
    QCOMPARE(request.method, "GET");
    QCOMPARE(request.target, "/api/v1/jmap/events/web?ping=30");
    QCOMPARE(request.header("Authorization"), "Bearer " + oldToken.toUtf8());
    QCOMPARE(request.header("Accept"), "text/event-stream");
    QCOMPARE(DriveEventStream(harness.client, {}, 30).idleTimeout(), 75s);
}

void TestDriveEventStream::reconnection_data() {
    QTest::addColumn<bool>("usableAddress");
    QTest::addColumn<Answers>("answers"); // then 503 for ever
    QTest::addColumn<Statuses>("expected");
    QTest::addColumn<int>("connections");

    const Answer unavailable = Answer::withStatus(503);
    QTest::newRow("service ends the body")
        << true << Answers{Answer::stream({": hello\n\n"}, Ending::endBody)}
        << Statuses{Status::connected(), Status::disconnected(1)} << 1;
    QTest::newRow("refused again and again")
        << true << Answers{}
        << Statuses{Status::disconnected(1),  Status::disconnected(2),  Status::disconnected(5),
                    Status::disconnected(10), Status::disconnected(30), Status::disconnected(60),
                    Status::disconnected(60)}
        << 7;
    QTest::newRow("only a 200 resets the back-off")
        << true << Answers{unavailable, unavailable, Answer::stream({}), unavailable}
        << Statuses{Status::disconnected(1), Status::disconnected(2), Status::connected(),
                    Status::disconnected(1), Status::disconnected(2)}
        << 4;
    QTest::newRow("another 2xx is not the stream")
        << true << Answers{Answer::withStatus(204), Answer::withStatus(404)}
        << Statuses{Status::disconnected(1), Status::disconnected(2)} << 2;
    QTest::newRow("unusable address")
        << false << Answers{} << Statuses{Status::disconnected(1), Status::disconnected(2)} << 0;
}

void TestDriveEventStream::reconnection() {
    QFETCH(bool, usableAddress);
    QFETCH(Answers, answers);
    QFETCH(Statuses, expected);
    QFETCH(int, connections);

    Harness harness;
    for (const Answer &answer : answers)
        harness.server.enqueue(answer);
    harness.cancelAfterStatuses(expected.size());
    harness.run(std::nullopt, usableAddress ? harness.server.baseURL() : QUrl());

    QCOMPARE(harness.statuses, expected);
    QCOMPARE(harness.server.requests().size(), connections);
    // Each report but the last was followed by its wait; the last one's wait was cancelled.
    QList<std::chrono::milliseconds> waits;
    for (qsizetype i = 0; i + 1 < expected.size(); ++i) {
        if (expected[i].kind() == Status::Kind::disconnected)
            waits.append(std::chrono::seconds(expected[i].retryIn()));
    }
    QCOMPARE(harness.clock->sleeps(), waits);
}

// A connection cut in the middle of the body is a drop like any other. Only the reports are
// checked: the network layer may quietly send the request once more when a connection closes
// early, so the server may count a second request that nobody reads.
void TestDriveEventStream::droppedConnection() {
    Harness harness;
    harness.server.enqueue(Answer::stream({": hello\n\n"}, Ending::drop));
    harness.cancelAfterStatuses(2);
    harness.run();

    QCOMPARE(harness.statuses, (Statuses{Status::connected(), Status::disconnected(1)}));
}

void TestDriveEventStream::silentSignIn_data() {
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<int>("refusal");
    QTest::addColumn<Reply>("login");
    QTest::addColumn<Statuses>("expected");
    QTest::addColumn<QList<QByteArray>>("tokensSent");
    QTest::addColumn<bool>("sessionKept");

    const QByteArray oldBearer = "Bearer " + oldToken.toUtf8();
    const QByteArray newBearer = "Bearer " + newToken.toUtf8();
    QTest::newRow("401, sign-in accepted")
        << true << 401 << loginAccepted() << Statuses{Status::connected()}
        << QList<QByteArray>{oldBearer, newBearer} << true;
    QTest::newRow("403, sign-in accepted")
        << true << 403 << loginAccepted() << Statuses{Status::connected()}
        << QList<QByteArray>{oldBearer, newBearer} << true;
    QTest::newRow("password refused")
        << true << 401 << Reply::withStatus(401) << Statuses{Status::unauthorized()}
        << QList<QByteArray>{oldBearer} << false;
    QTest::newRow("device needs a second factor")
        << true << 401
        << Reply::ok(
               "{\"two_factor_required\":true,\"pending_token\":\"p\",\"methods\":[\"totp\"]}")
        << Statuses{Status::unauthorized()} << QList<QByteArray>{oldBearer} << false;
    QTest::newRow("sign-in service down")
        << true << 401 << Reply::withStatus(503) << Statuses{Status::unauthorized()}
        << QList<QByteArray>{oldBearer} << true;
    QTest::newRow("no session") << false << 0 << Reply() << Statuses{Status::unauthorized()}
                                << QList<QByteArray>{} << false;
}

void TestDriveEventStream::silentSignIn() {
    QFETCH(bool, signedIn);
    QFETCH(int, refusal);
    QFETCH(Reply, login);
    QFETCH(Statuses, expected);
    QFETCH(QList<QByteArray>, tokensSent);
    QFETCH(bool, sessionKept);

    Harness harness(signedIn);
    harness.server.enqueue(Answer::withStatus(refusal));
    harness.server.enqueue(Answer::stream({}, Ending::keepOpen));
    harness.transport->enqueue(login);
    // A refused sign-in ends run by itself; an accepted one is stopped once connected.
    harness.afterStatus = [&](const Status &status) {
        if (status == Status::connected())
            harness.cancel.cancel();
    };
    harness.run();

    QCOMPARE(harness.statuses, expected);
    QCOMPARE(harness.authorizations(), tokensSent);
    QCOMPARE(harness.transport->requests().size(), signedIn ? 1 : 0);
    QCOMPARE(harness.client->isAuthenticated(), sessionKept);
    QVERIFY(harness.clock->sleeps().isEmpty());
}

void TestDriveEventStream::changes_data() {
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<int>("expected");

    QTest::newRow("several changes in one chunk, other events ignored")
        << Chunks{"event: drive.changed\ndata: {}\n\n: ping\n\nevent: other\ndata: x\n\n"
                  "data: plain\n\nevent: drive.changed\n\nevent: drive.changed\ndata: 2\n\n"}
        << 3;
    QTest::newRow("one change cut across chunks")
        << Chunks{"event: drive.cha", "nged\r\ndata: {}\r", "\n\r", "\n"} << 1;
    QTest::newRow("changes in separate chunks")
        << Chunks{"event: drive.changed\n\n", ": ping\n\n", "event: drive.changed\n\n"} << 2;
    QTest::newRow("names that only look alike")
        << Chunks{"event: Drive.changed\n\nevent: drive.changed \n\nevent: drive.changed.x\n\n"
                  "data: drive.changed\n\nevent:drive.changed\n\n"}
        << 1;
    QTest::newRow("an event the body never finishes") << Chunks{"event: drive.changed\n"} << 0;
}

// Each "drive.changed" is handed over once, in order, and the next one waits until the
// handler is done with the previous one.
void TestDriveEventStream::changes() {
    QFETCH(Chunks, chunks);
    QFETCH(int, expected);

    Harness harness;
    harness.server.enqueue(Answer::stream(chunks, Ending::endBody));
    harness.cancelAfterStatuses(2);
    harness.run();

    QCOMPARE(harness.statuses, (Statuses{Status::connected(), Status::disconnected(1)}));
    QCOMPARE(harness.changes, expected);
    QVERIFY(harness.mostChangesRunning <= 1);
}

void TestDriveEventStream::idleTimeout_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<int>("completedWhenDisconnected");

    // With an idle timeout of 200 ms: silence is given up, while a keep-alive every 25 ms holds
    // the connection well past 200 ms, until the service ends it.
    QTest::newRow("silent after the head") << Answer::stream({": hi\n\n"}, Ending::keepOpen) << 1;
    QTest::newRow("silent before the head") << Answer::neverAnswers() << 0;
    QTest::newRow("keep-alives") << Answer::stream(Chunks(16, ": ping\n\n"), Ending::endBody, 25ms)
                                 << 1;
}

void TestDriveEventStream::idleTimeout() {
    QFETCH(Answer, answer);
    QFETCH(int, completedWhenDisconnected);

    Harness harness;
    harness.server.enqueue(answer);
    int completed = -1;
    harness.afterStatus = [&](const Status &status) {
        if (status.kind() != Status::Kind::disconnected)
            return;
        completed = harness.server.completedAnswers();
        harness.cancel.cancel();
    };
    harness.run(200ms);

    QCOMPARE(harness.statuses.last(), Status::disconnected(1));
    QCOMPARE(harness.server.requests().size(), 1);
    QCOMPARE(completed, completedWhenDisconnected);
    QTRY_COMPARE(harness.server.openConnections(), 0);
}

void TestDriveEventStream::cancellation_data() {
    QTest::addColumn<QString>("moment");
    QTest::addColumn<Statuses>("expected");

    QTest::newRow("before the first attempt") << "start" << Statuses{};
    QTest::newRow("waiting for the answer's head") << "head" << Statuses{};
    QTest::newRow("reading a silent stream") << "stream" << Statuses{Status::connected()};
    QTest::newRow("inside onChange") << "change" << Statuses{Status::connected()};
    QTest::newRow("inside onStatus") << "report" << Statuses{Status::disconnected(1)};
    QTest::newRow("during the back-off wait") << "wait" << Statuses{Status::disconnected(1)};
    QTest::newRow("during the silent sign-in") << "sign-in" << Statuses{};
}

// Whenever the token fires, run returns without a further report or attempt, and the
// connection it had open is closed.
void TestDriveEventStream::cancellation() {
    QFETCH(QString, moment);
    QFETCH(Statuses, expected);

    Harness harness;
    auto cancelSoon = [&] { QTimer::singleShot(0, [&] { harness.cancel.cancel(); }); };
    int expectedChanges = 0;
    QList<std::chrono::milliseconds> expectedWaits;

    if (moment == u"start") {
        harness.cancel.cancel();
    } else if (moment == u"head") {
        harness.server.enqueue(Answer::neverAnswers());
        connect(&harness.server, &FakeEventServer::requestReceived, this, cancelSoon);
    } else if (moment == u"stream") {
        harness.server.enqueue(Answer::stream({": hi\n\n"}, Ending::keepOpen));
        harness.afterStatus = [&](const Status &) { cancelSoon(); };
    } else if (moment == u"change") {
        harness.server.enqueue(Answer::stream(
            {"event: drive.changed\n\nevent: drive.changed\n\n", "event: drive.changed\n\n"},
            Ending::keepOpen));
        harness.afterChange = [&] { harness.cancel.cancel(); };
        expectedChanges = 1;
    } else if (moment == u"report") {
        harness.cancelAfterStatuses(1);
    } else if (moment == u"wait") {
        harness.clock->setAutomatic(false);
        harness.afterStatus = [&](const Status &) {
            QTimer::singleShot(0, [&] {
                QCOMPARE(harness.clock->waitingSleeps(), 1);
                harness.cancel.cancel();
            });
        };
        expectedWaits = {1s};
    } else if (moment == u"sign-in") {
        harness.server.enqueue(Answer::withStatus(401));
        harness.transport->setHandler([&](const HttpRequest &) {
            cancelSoon();
            return Reply::hang();
        });
    }
    harness.run();

    QCOMPARE(harness.statuses, expected);
    QCOMPARE(harness.changes, expectedChanges);
    QCOMPARE(harness.clock->sleeps(), expectedWaits);
    QCOMPARE(harness.server.requests().size(), moment == u"start" ? 0 : 1);
    QCOMPARE(harness.client->isAuthenticated(), true);
    QTRY_COMPARE(harness.server.openConnections(), 0);
}

QTEST_GUILESS_MAIN(TestDriveEventStream)
#include "test_drive_event_stream.moc"
