// SPDX-License-Identifier: GPL-3.0-or-later
// The application's event stream against the real service: drops, refusals, a stalled stream,
// refused and renewed tokens, a change made through the drive's API; and the service carrying
// every stream it takes while still answering requests. Back-off waits go to a manual clock that
// records them and lets them pass at once; the service sends keep-alives every few milliseconds
// and the client gives a silent stream up after a few hundred.
#include "AsyncTest.h"
#include "EventStatusTesting.h"
#include "ManualClock.h"
#include "ServiceTest.h"
#include "events/DriveEventStream.h"
#include "models/DriveDTOs.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>

#include <exception>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

using Status = DriveEventStream::Status;
using Statuses = QList<Status>;

namespace {

// What the service does to the first stream once it is connected.
enum class Drop { none, close, stall };

const QString streamPath = QStringLiteral("/api/v1/jmap/events/web");
const QString loginPath = QStringLiteral("/api/v1/auth/login-jmap");
// What the application asks; the service's test setting shortens it for every stream.
constexpr qint64 pingSeconds = 30;
constexpr auto keepAlive = 20ms;
constexpr auto idleTimeout = 300ms;

const Status connected = Status::connected();
Status disconnected(qint64 seconds)
{
    return Status::disconnected(seconds);
}

// The back-off waits a list of statuses announces, in order.
QList<std::chrono::milliseconds> waitsOf(const Statuses &statuses)
{
    QList<std::chrono::milliseconds> waits;
    for (const Status &status : statuses) {
        if (status.kind() == Status::Kind::disconnected)
            waits.append(std::chrono::seconds(status.retryIn()));
    }
    return waits;
}

// The stream run on a signed-in client, with a hook that acts on the service at a known point:
// once the first status is reported.
struct LiveStream {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ApiClient> client;
    std::function<void()> afterFirstStatus;
    Statuses statuses;
    int changes = 0;

    // Runs until `statusCount` statuses are reported (0: until the run ends by itself), or a
    // change is when `untilChange`. A hook that throws ends the run, and run() throws it.
    void run(const LocalService &service, qsizetype statusCount, bool untilChange = false)
    {
        CancellationSource cancel;
        std::exception_ptr failure;
        const auto onChange = [&]() -> QCoro::Task<> {
            ++changes;
            if (untilChange)
                cancel.cancel();
            co_return;
        };
        const auto onStatus = [&](Status status) -> QCoro::Task<> {
            statuses.append(status);
            try {
                if (statuses.size() == 1 && afterFirstStatus)
                    afterFirstStatus();
            } catch (...) {
                failure = std::current_exception();
                cancel.cancel();
            }
            if (statuses.size() == statusCount)
                cancel.cancel();
            co_return;
        };
        const DriveEventStream stream(client, service.eventsBaseURL(), pingSeconds, idleTimeout);
        runAsync(stream.run(onChange, onStatus, cancel.token()));
        if (failure)
            std::rethrow_exception(failure);
    }
};

// An event stream opened by hand on a bare socket, as any other client's would be.
struct RawStream {
    QTcpSocket socket;
    QByteArray received;

    RawStream(int port, const QByteArray &token)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket,
                         [this] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, quint16(port));
        socket.write("GET /api/v1/jmap/events/web?ping=30 HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                     "Accept: text/event-stream\r\nAuthorization: Bearer "
                     + token + "\r\n\r\n");
    }
    // 0 until the head has arrived.
    int status() const { return received.startsWith("HTTP/1.1 ") ? received.mid(9, 3).toInt() : 0; }
    qsizetype changes() const { return received.count("event: drive.changed\n"); }
};

} // namespace

Q_DECLARE_METATYPE(Statuses)
Q_DECLARE_METATYPE(Drop)

class TestLiveEvents : public ServiceTest {
    Q_OBJECT

private slots:
    void init();

    void reconnectsWithBackOff_data();
    void reconnectsWithBackOff();
    void renewsRefusedTokenSilently_data();
    void renewsRefusedTokenSilently();
    void reportsUnauthorizedWhenSignInFails();
    void announcesChangeMadeThroughTheDrive();
    void manyStreamsLeaveRequestsServed();

private:
    // A new account signed in on the stream's client (through its second factor, with the
    // device remembered, when it has an authenticator); its address.
    QString signInStream(LiveStream &live, bool withAuthenticator = false)
    {
        live.client = newClient(live.clock);
        QString email = addAccount(QStringLiteral("events"), withAuthenticator);
        signIn(*live.client, email, true);
        return email;
    }
};

void TestLiveEvents::init()
{
    service().setEventKeepAlive(keepAlive);
}

void TestLiveEvents::reconnectsWithBackOff_data()
{
    QTest::addColumn<int>("refusals"); // the next stream attempts are answered 503
    QTest::addColumn<Drop>("drop");    // and, if any, refused only after this
    QTest::addColumn<Statuses>("expected");

    QTest::newRow("closed once connected")
        << 0 << Drop::close << Statuses{connected, disconnected(1), connected};
    QTest::newRow("stalled once connected")
        << 0 << Drop::stall << Statuses{connected, disconnected(1), connected};
    QTest::newRow("unavailable from the start")
        << 4 << Drop::none
        << Statuses{disconnected(1), disconnected(2), disconnected(5), disconnected(10), connected};
    QTest::newRow("unavailable after a drop")
        << 3 << Drop::close << Statuses{connected,       disconnected(1),  disconnected(2),
                                        disconnected(5), disconnected(10), connected};
}

void TestLiveEvents::reconnectsWithBackOff()
{
    QFETCH(int, refusals);
    QFETCH(Drop, drop);
    QFETCH(Statuses, expected);
    LiveStream live;
    const QString email = signInStream(live);
    if (drop == Drop::none)
        service().refuseEventStreams(503, refusals);
    live.afterFirstStatus = [&] {
        if (drop == Drop::none)
            return;
        if (refusals > 0)
            service().refuseEventStreams(503, refusals);
        // A stalled stream stays open but silent: the client gives it up after the idle timeout.
        QCOMPARE(drop == Drop::close ? service().closeEventStreams(email)
                                     : service().stallEventStreams(email),
                 1);
    };

    live.run(service(), expected.size());

    QCOMPARE(live.statuses, expected);
    QCOMPARE(live.clock->sleeps(), waitsOf(expected));
    QCOMPARE(service().requestCount("GET", streamPath), refusals + expected.count(connected));
}

void TestLiveEvents::renewsRefusedTokenSilently_data()
{
    QTest::addColumn<bool>("whileConnected"); // the token is refused on a reconnection
    QTest::addColumn<Statuses>("expected");
    QTest::newRow("token expired before connecting") << false << Statuses{connected};
    QTest::newRow("token expired while connected")
        << true << Statuses{connected, disconnected(1), connected};
}

void TestLiveEvents::renewsRefusedTokenSilently()
{
    QFETCH(bool, whileConnected);
    QFETCH(Statuses, expected);
    LiveStream live;
    const QString email = signInStream(live);
    const QString firstToken = live.client->currentAccessToken().value_or(QString());
    const int loginsBefore = service().requestCount("POST", loginPath);
    if (!whileConnected)
        service().expireAccessTokens();
    live.afterFirstStatus = [&] {
        if (whileConnected) {
            service().expireAccessTokens();
            service().closeEventStreams(email);
        }
    };

    live.run(service(), expected.size());

    // The refusal itself is never reported: one silent sign-in, and the stream is back.
    QCOMPARE(live.statuses, expected);
    QCOMPARE(service().requestCount("POST", loginPath), loginsBefore + 1);
    // Every connection, and the one refusal.
    QCOMPARE(service().requestCount("GET", streamPath), expected.count(connected) + 1);
    const auto renewed = live.client->currentAccessToken();
    QVERIFY(renewed && *renewed != firstToken);
}

void TestLiveEvents::reportsUnauthorizedWhenSignInFails()
{
    LiveStream live;
    signInStream(live, true);
    // The device is no longer trusted: signing in again would need a second factor.
    service().expireTrustedDevices();
    service().expireAccessTokens();

    // The run ends by itself once it has reported unauthorized.
    live.run(service(), 0);

    QCOMPARE(live.statuses, Statuses{Status::unauthorized()});
    QVERIFY(!live.client->isAuthenticated());
    QCOMPARE(service().requestCount("GET", streamPath), 1);
}

void TestLiveEvents::announcesChangeMadeThroughTheDrive()
{
    LiveStream live;
    signInStream(live);
    const DriveAPI drive(live.client);
    // Made while the stream runs, as the extension would make it.
    live.afterFirstStatus = [&] {
        static_cast<void>(drive.createFolder(QStringLiteral("Annoncé"), {}));
    };

    live.run(service(), 0, true);

    QCOMPARE(live.changes, 1);
    QCOMPARE(live.statuses, Statuses{connected});
    QCOMPARE(runAsync(drive.folders({})).size(), size_t(1));
}

void TestLiveEvents::manyStreamsLeaveRequestsServed()
{
    const DriveAccount account = signedInAccount(QStringLiteral("streams"));
    const QByteArray token = account.client->currentAccessToken().value_or(QString()).toUtf8();
    const int limit = service().eventStreamLimit();
    QVERIFY2(limit >= 100, "the service must carry at least a hundred streams");
    constexpr int beyondLimit = 8;

    // All at once, as clients do when a restart of the service dropped them together.
    std::vector<std::unique_ptr<RawStream>> streams;
    for (int i = 0; i < limit + beyondLimit; ++i)
        streams.push_back(std::make_unique<RawStream>(service().port(), token));
    const auto withStatus = [&](int status) {
        return int(std::count_if(streams.begin(), streams.end(),
                                 [&](const auto &stream) { return stream->status() == status; }));
    };
    QTRY_COMPARE_WITH_TIMEOUT(withStatus(0), 0, 5000);
    QCOMPARE(withStatus(200), limit);
    // The streams beyond the limit are told to come back later, so that the workers left
    // answer requests.
    QCOMPARE(withStatus(503), beyondLimit);

    // With every stream the service takes held open, requests are all answered, side by side.
    constexpr int requests = 24;
    const int answered = runAsync([](std::shared_ptr<ApiClient> client) -> QCoro::Task<int> {
        std::vector<QCoro::Task<QuotaDTO>> pending;
        for (int i = 0; i < requests; ++i)
            pending.push_back(client->get<QuotaDTO>(QStringLiteral("/drive/quota")));
        int count = 0;
        for (auto &request : pending) {
            co_await std::move(request);
            ++count;
        }
        co_return count;
    }(account.client));
    QCOMPARE(answered, requests);

    // And the streams still carry news: one change reaches every one of them.
    service().publishDriveChange(account.email);
    QTRY_COMPARE_WITH_TIMEOUT(
        std::count_if(streams.begin(), streams.end(),
                      [](const auto &stream) { return stream->changes() == 1; }),
        qsizetype(limit), 5000);
}

QTEST_GUILESS_MAIN(TestLiveEvents)
#include "test_live_events.moc"
