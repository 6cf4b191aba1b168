// SPDX-License-Identifier: GPL-3.0-or-later
// The event stream's run loop in the situations the real service never creates: no usable
// address, no session, an answer that is not HTTP, a body cut mid-way, events packed in one
// piece, and cancellation at every kind of wait. The stream and the sign-in both go through the
// client's transport, scripted here.
#include "ClientHarness.h"
#include "EventStatusTesting.h"
#include "async/Wakeup.h"
#include "events/DriveEventStream.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Status = DriveEventStream::Status;
using Statuses = QList<Status>;
Q_DECLARE_METATYPE(Statuses)
using Reply = FakeTransport::Reply;
Q_DECLARE_METATYPE(std::optional<Reply>)

namespace {

// One run of the stream, its sign-in going to the scripted transport and its waits to the
// manual clock. Records what the handlers saw.
struct StreamHarness : ClientHarness {
    CancellationSource cancel;
    Statuses statuses;
    int changes = 0;
    int changesRunning = 0;
    int mostChangesRunning = 0;
    std::function<void()> afterStatus;
    std::function<void()> afterChange;

    void run(const QUrl &base)
    {
        const DriveEventStream stream(client, base, 30, 100ms);
        const auto onChange = [this]() -> QCoro::Task<> {
            mostChangesRunning = std::max(mostChangesRunning, ++changesRunning);
            Wakeup nextTurn; // a handler that awaits something, as a real one does
            nextTurn.fire();
            co_await nextTurn.wait();
            --changesRunning;
            ++changes;
            if (afterChange)
                afterChange();
        };
        const auto onStatus = [this](Status status) -> QCoro::Task<> {
            statuses.append(status);
            if (afterStatus)
                afterStatus();
            co_return;
        };
        runAsync(stream.run(onChange, onStatus, cancel.token()));
    }
};

} // namespace

class TestDriveEventStream : public QObject {
    Q_OBJECT

private slots:
    void streamAddress_data();
    void streamAddress();
    void run_data();
    void run();
};

void TestDriveEventStream::streamAddress_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("expected"); // empty: no usable address
    const QString path = u"/api/v1/jmap/events/web?ping=30"_s;
    QTest::newRow("host only") << u"https://push.test"_s << u"https://push.test"_s + path;
    QTest::newRow("trailing slash") << u"https://push.test/"_s << u"https://push.test"_s + path;
    QTest::newRow("port and path")
        << u"https://a.test:8443/push"_s << u"https://a.test:8443/push"_s + path;
    QTest::newRow("relative") << u"push.test"_s << QString();
}

void TestDriveEventStream::streamAddress()
{
    QFETCH(QString, base);
    QFETCH(QString, expected);
    const std::optional<QUrl> url = DriveEventStream(nullptr, QUrl(base), 30).streamURL();
    QCOMPARE(url ? url->toString() : QString(), expected);
    // Two keep-alives missed, and a margin.
    QCOMPARE(DriveEventStream(nullptr, QUrl(base), 30).idleTimeout(), 75s);
}

void TestDriveEventStream::run_data()
{
    QTest::addColumn<std::optional<Reply>>("answer"); // to the stream; none: no usable address
    QTest::addColumn<QString>("twist"); // empty: cancelled once the expected statuses came
    QTest::addColumn<Statuses>("expected");
    QTest::addColumn<int>("changes");
    const auto row = [](const char *tag, std::optional<Reply> answer, QString twist,
                        Statuses expected, int changes = 0) {
        QTest::newRow(tag) << answer << twist << expected << changes;
    };
    const auto down = [](qint64 seconds) { return Status::disconnected(seconds); };
    const Status connected = Status::connected();
    // Two changes in one piece, among names that only look alike.
    const QByteArray changes =
        "event: drive.changed\ndata: {}\n\n: ping\n\nevent: Drive.changed\n\n"
        "event: drive.changed \n\ndata: drive.changed\n\nevent:drive.changed\n\n";
    const Reply stream = Reply::ok(": hi\n\n");
    const DriveError notHttp = DriveError::transport(u"réponse non HTTP"_s);

    row("no usable address: the waits grow to a minute", {}, {},
        {down(1), down(2), down(5), down(10), down(30), down(60), down(60)});
    row("no session", stream, u"signed out"_s, {Status::unauthorized()});
    row("not HTTP", Reply::error(notHttp), {}, {down(1)});
    row("another success than 200", Reply::withStatus(204), {}, {down(1)});
    row("body cut mid-way", Reply::cut(": hi\n\ndata: cut", notHttp), {}, {connected, down(1)});
    row("changes handed over one at a time", Reply::ok(changes), {}, {connected, down(1)}, 2);

    row("cancelled before the first attempt", stream, u"cancelled first"_s, {});
    row("cancelled waiting for the head", Reply::hang(), u"at the request"_s, {});
    row("cancelled inside onChange", Reply::ok(changes), u"in onChange"_s, {connected}, 1);
    row("cancelled during the back-off wait", {}, u"in the wait"_s, {down(1)});
    row("cancelled during the silent sign-in", Reply::withStatus(401), u"in the sign-in"_s, {});
}

void TestDriveEventStream::run()
{
    QFETCH(std::optional<Reply>, answer);
    QFETCH(QString, twist);
    QFETCH(Statuses, expected);
    QFETCH(int, changes);

    StreamHarness harness;
    if (twist != u"signed out")
        harness.signIn({u"ana@orvelan.net"_s, u"old"_s, u"pw"_s});
    const auto cancelSoon = [&] { QTimer::singleShot(0, qApp, [&] { harness.cancel.cancel(); }); };
    // The stream is asked for again after each failure: every attempt gets the same answer,
    // and a sign-in would get a scripted refusal.
    harness.transport->setHandler([&](const HttpRequest &request) {
        if (request.url.path().endsWith(u"/events/web"))
            return answer.value_or(Reply::hang());
        if (twist == u"in the sign-in") {
            cancelSoon();
            return Reply::hang();
        }
        return Reply::withStatus(401);
    });
    if (twist.isEmpty() || twist == u"signed out") {
        harness.afterStatus = [&] {
            if (harness.statuses.size() == expected.size())
                harness.cancel.cancel();
        };
    } else if (twist == u"cancelled first") {
        harness.cancel.cancel();
    } else if (twist == u"at the request") {
        QTimer::singleShot(10, qApp, [&] { harness.cancel.cancel(); });
    } else if (twist == u"in onChange") {
        harness.afterChange = [&] { harness.cancel.cancel(); };
    } else if (twist == u"in the wait") {
        harness.clock->setAutomatic(false); // the wait holds until the cancel ends it
        harness.afterStatus = cancelSoon;
    }
    harness.run(answer ? QUrl(u"https://push.test"_s) : QUrl());

    QCOMPARE(harness.statuses, expected);
    QCOMPARE(harness.changes, changes);
    QVERIFY(harness.mostChangesRunning <= 1); // each change awaited before the next is read
    QList<std::chrono::milliseconds> waits;   // each disconnected report is followed by its wait
    for (const Status &status : expected) {
        if (status.kind() == Status::Kind::disconnected)
            waits.append(std::chrono::seconds(status.retryIn()));
    }
    if (twist.isEmpty() && !waits.isEmpty())
        waits.removeLast(); // cancelled in the report itself
    QCOMPARE(harness.clock->sleeps(), waits);
    QCOMPARE(harness.client->isAuthenticated(), twist != u"signed out");

    const QList<HttpRequest> &requests = harness.transport->requests();
    QCOMPARE(requests.isEmpty(), !answer || twist == u"cancelled first" || twist == u"signed out");
    if (!twist.isEmpty()) // no further attempt once cancelled
        QVERIFY(requests.size() <= (twist == u"in the sign-in" ? 2 : 1));
    if (requests.isEmpty())
        return;
    const HttpRequest &opened = requests.first();
    QCOMPARE(opened.url.toString(), u"https://push.test/api/v1/jmap/events/web?ping=30"_s);
    QCOMPARE(opened.method, "GET"_ba);
    QCOMPARE(opened.header("Authorization"), std::optional("Bearer old"_ba));
    QCOMPARE(opened.header("Accept"), std::optional("text/event-stream"_ba));
    QCOMPARE(opened.timeout, 0.1); // the idle timeout, carried out by the transport
}

QTEST_GUILESS_MAIN(TestDriveEventStream)
#include "test_drive_event_stream.moc"
