// SPDX-License-Identifier: GPL-3.0-or-later
// The application's event stream against the real service: drops, refusals, a stalled
// stream, refused and renewed tokens, announced changes, cancellation. Back-off waits go to a
// manual clock that records them and lets them pass at once; the service sends keep-alives
// every few milliseconds and the client gives a silent stream up after a few hundred.
#include "AsyncTest.h"
#include "EventStatusTesting.h"
#include "LocalService.h"
#include "ManualClock.h"
#include "OathTool.h"
#include "ServiceClient.h"
#include "events/DriveEventStream.h"

#include <QTest>

#include <exception>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

using Status = DriveEventStream::Status;
using Statuses = QList<Status>;

Q_DECLARE_METATYPE(Statuses)

namespace {

const QString password = QStringLiteral("s3cret pass phrase");
const QString secret = QStringLiteral("GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ");
const QString streamPath = QStringLiteral("/api/v1/jmap/events/web");
const QString loginPath = QStringLiteral("/api/v1/auth/login-jmap");
// What the application asks; the service's test setting shortens it for every stream.
constexpr qint64 pingSeconds = 30;
constexpr auto keepAlive = 20ms;
constexpr auto idleTimeout = 300ms;

const Status connected = Status::connected();
const Status unauthorized = Status::unauthorized();
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

// One run of the stream on a signed-in client. The hooks act on the service from inside the
// handlers, at a known point of the run; a hook that fails cancels the run and its failure is
// thrown by run().
struct LiveStream {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ApiClient> client;
    CancellationSource cancel;
    Statuses statuses;
    int changes = 0;
    std::function<void()> afterStatus; // `statuses` already holds the new one
    std::function<void()> afterChange;
    std::exception_ptr hookFailure;

    void cancelAfterStatuses(qsizetype count, std::function<void()> before = {})
    {
        afterStatus = [this, count, before] {
            if (before)
                before();
            if (statuses.size() >= count)
                cancel.cancel();
        };
    }

    void run(const LocalService &service)
    {
        const DriveEventStream stream(client, service.eventsBaseURL(), pingSeconds, idleTimeout);
        const auto onChange = [this]() -> QCoro::Task<> {
            ++changes;
            hook(afterChange);
            co_return;
        };
        const auto onStatus = [this](Status status) -> QCoro::Task<> {
            statuses.append(status);
            hook(afterStatus);
            co_return;
        };
        runAsync(stream.run(onChange, onStatus, cancel.token()));
        if (hookFailure)
            std::rethrow_exception(hookFailure);
    }

private:
    void hook(const std::function<void()> &action)
    {
        if (!action)
            return;
        try {
            action();
        } catch (...) {
            hookFailure = std::current_exception();
            cancel.cancel();
        }
    }
};

} // namespace

class TestLiveEvents : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void reconnectsWhenServiceCloses();
    void backsOffWhileRefused_data();
    void backsOffWhileRefused();
    void reconnectsAfterStall();
    void renewsRefusedTokenSilently_data();
    void renewsRefusedTokenSilently();
    void reportsUnauthorizedWhenSignInFails_data();
    void reportsUnauthorizedWhenSignInFails();
    void announcesChange();
    void coalescesBursts_data();
    void coalescesBursts();
    void cancellationClosesStream();

private:
    // A new account signed in on the stream's client (through its second factor, with the
    // device remembered, when it has an authenticator); its address.
    QString signIn(LiveStream &live, bool withAuthenticator = false);

    std::unique_ptr<LocalService> m_service;
    std::unique_ptr<KeychainScope> m_keychain;
};

void TestLiveEvents::initTestCase()
{
    for (const QString &reason :
         {LocalService::unavailableReason(), KeychainScope::unavailableReason()}) {
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
    }
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_keychain = std::make_unique<KeychainScope>();
}

void TestLiveEvents::init()
{
    m_service->setEventKeepAlive(keepAlive);
}

void TestLiveEvents::cleanup()
{
    m_service->reset();
}

QString TestLiveEvents::signIn(LiveStream &live, bool withAuthenticator)
{
    live.client = makeServiceClient(*m_service, *m_keychain, 3, 5ms, live.clock);
    const QString email = LocalService::uniqueEmail(QStringLiteral("events"));
    m_service->addAccount({email, password, withAuthenticator ? secret : QString(), {}, false});
    m_keychain->forgetLater(email);
    const LoginOutcome outcome = runAsync(live.client->login(email, password));
    if (const TwoFactorChallenge *challenge = outcome.challenge())
        runAsync(live.client->verifyTwoFactor(*challenge, TwoFactorMethod::totp, totpCode(secret),
                                              true, QStringLiteral("Poste de test")));
    return email;
}

void TestLiveEvents::reconnectsWhenServiceCloses()
{
    LiveStream live;
    const QString email = signIn(live);
    live.cancelAfterStatuses(3, [&] {
        if (live.statuses.size() == 1)
            QCOMPARE(m_service->closeEventStreams(email), 1);
    });

    live.run(*m_service);

    QCOMPARE(live.statuses, (Statuses{connected, disconnected(1), connected}));
    QCOMPARE(live.clock->sleeps(), (QList<std::chrono::milliseconds>{1s}));
    QCOMPARE(m_service->requestCount("GET", streamPath), 2);
}

void TestLiveEvents::backsOffWhileRefused_data()
{
    QTest::addColumn<QList<int>>("refusals"); // the next stream attempts are answered these
    QTest::addColumn<bool>("afterDrop");      // refused once connected and dropped
    QTest::addColumn<Statuses>("expected");

    QTest::newRow("unavailable from the start")
        << QList<int>{503, 503, 503, 503} << false
        << Statuses{disconnected(1), disconnected(2), disconnected(5), disconnected(10), connected};
    QTest::newRow("unavailable after a drop")
        << QList<int>{503, 503, 503} << true
        << Statuses{connected,       disconnected(1),  disconnected(2),
                    disconnected(5), disconnected(10), connected};
    QTest::newRow("error, unknown path, other success")
        << QList<int>{500, 404, 202} << false
        << Statuses{disconnected(1), disconnected(2), disconnected(5), connected};
}

void TestLiveEvents::backsOffWhileRefused()
{
    QFETCH(QList<int>, refusals);
    QFETCH(bool, afterDrop);
    QFETCH(Statuses, expected);

    LiveStream live;
    const QString email = signIn(live);
    const auto refuse = [&] {
        for (const int status : std::as_const(refusals))
            m_service->refuseEventStreams(status, 1);
    };
    if (!afterDrop)
        refuse();
    live.cancelAfterStatuses(expected.size(), [&] {
        if (afterDrop && live.statuses.size() == 1) {
            refuse();
            m_service->closeEventStreams(email);
        }
    });

    live.run(*m_service);

    QCOMPARE(live.statuses, expected);
    QCOMPARE(live.clock->sleeps(), waitsOf(expected));
    QCOMPARE(m_service->requestCount("GET", streamPath), refusals.size() + (afterDrop ? 2 : 1));
}

void TestLiveEvents::reconnectsAfterStall()
{
    LiveStream live;
    const QString email = signIn(live);
    live.cancelAfterStatuses(3, [&] {
        if (live.statuses.size() == 1)
            QCOMPARE(m_service->stallEventStreams(email), 1);
    });

    live.run(*m_service);

    // No keep-alive for longer than the idle timeout: given up, and a new stream opened.
    QCOMPARE(live.statuses, (Statuses{connected, disconnected(1), connected}));
    QCOMPARE(m_service->requestCount("GET", streamPath), 2);
}

void TestLiveEvents::renewsRefusedTokenSilently_data()
{
    QTest::addColumn<bool>("whileConnected"); // the token is refused on a reconnection
    QTest::addColumn<int>("refusal");         // 0: the service voids its tokens
    QTest::addColumn<Statuses>("expected");

    QTest::newRow("token expired before connecting") << false << 0 << Statuses{connected};
    QTest::newRow("token expired while connected")
        << true << 0 << Statuses{connected, disconnected(1), connected};
    QTest::newRow("stream forbidden once") << false << 403 << Statuses{connected};
}

void TestLiveEvents::renewsRefusedTokenSilently()
{
    QFETCH(bool, whileConnected);
    QFETCH(int, refusal);
    QFETCH(Statuses, expected);

    LiveStream live;
    const QString email = signIn(live);
    const QString firstToken = live.client->currentAccessToken().value_or(QString());
    const int loginsBefore = m_service->requestCount("POST", loginPath);
    const auto refuse = [&] {
        if (refusal)
            m_service->refuseEventStreams(refusal, 1);
        else
            m_service->expireAccessTokens();
    };
    if (!whileConnected)
        refuse();
    live.cancelAfterStatuses(expected.size(), [&] {
        if (whileConnected && live.statuses.size() == 1) {
            refuse();
            m_service->closeEventStreams(email);
        }
    });

    live.run(*m_service);

    // The refusal itself is never reported: one silent sign-in, and the stream is back.
    QCOMPARE(live.statuses, expected);
    QCOMPARE(m_service->requestCount("POST", loginPath), loginsBefore + 1);
    // Every connection, and the one refusal.
    QCOMPARE(m_service->requestCount("GET", streamPath), expected.count(connected) + 1);
    const auto renewed = live.client->currentAccessToken();
    QVERIFY(renewed && *renewed != firstToken);
}

void TestLiveEvents::reportsUnauthorizedWhenSignInFails_data()
{
    QTest::addColumn<bool>("withAuthenticator");
    QTest::addColumn<bool>("passwordChanged"); // otherwise the device is no longer trusted
    QTest::addColumn<bool>("whileConnected");
    QTest::addColumn<Statuses>("expected");

    QTest::newRow("password changed") << false << true << false << Statuses{unauthorized};
    QTest::newRow("second factor now required") << true << false << false << Statuses{unauthorized};
    QTest::newRow("password changed while connected")
        << false << true << true << Statuses{connected, disconnected(1), unauthorized};
}

void TestLiveEvents::reportsUnauthorizedWhenSignInFails()
{
    QFETCH(bool, withAuthenticator);
    QFETCH(bool, passwordChanged);
    QFETCH(bool, whileConnected);
    QFETCH(Statuses, expected);

    LiveStream live;
    const QString email = signIn(live, withAuthenticator);
    const auto refuse = [&] {
        if (passwordChanged)
            m_service->changePassword(email, QStringLiteral("changed elsewhere"));
        else
            m_service->expireTrustedDevices();
        m_service->expireAccessTokens();
    };
    if (!whileConnected)
        refuse();
    live.afterStatus = [&] {
        if (whileConnected && live.statuses.size() == 1) {
            refuse();
            m_service->closeEventStreams(email);
        }
    };

    // No cancellation: run ends by itself once it has reported unauthorized.
    live.run(*m_service);

    QCOMPARE(live.statuses, expected);
    QVERIFY(!live.client->isAuthenticated());
    QCOMPARE(m_service->requestCount("GET", streamPath), whileConnected ? 2 : 1);
}

void TestLiveEvents::announcesChange()
{
    LiveStream live;
    const QString email = signIn(live);
    live.afterStatus = [&] { m_service->publishDriveChange(email); };
    live.afterChange = [&] { live.cancel.cancel(); };

    live.run(*m_service);

    QCOMPARE(live.changes, 1);
    QCOMPARE(live.statuses, Statuses{connected});
}

void TestLiveEvents::coalescesBursts_data()
{
    QTest::addColumn<int>("ownChanges");
    QTest::addColumn<int>("othersChanges"); // of another account's drive
    QTest::addColumn<int>("fewest");
    QTest::addColumn<int>("most");

    QTest::newRow("one change") << 1 << 0 << 1 << 1;
    QTest::newRow("burst of twenty") << 20 << 0 << 1 << 3;
    QTest::newRow("another account's drive") << 0 << 5 << 0 << 0;
    QTest::newRow("both drives") << 3 << 3 << 1 << 2;
}

void TestLiveEvents::coalescesBursts()
{
    QFETCH(int, ownChanges);
    QFETCH(int, othersChanges);
    QFETCH(int, fewest);
    QFETCH(int, most);

    LiveStream live;
    const QString email = signIn(live);
    const QString other = LocalService::uniqueEmail(QStringLiteral("other"));
    m_service->addAccount({other, password, {}, {}, false});
    // The changes, then the end of the stream: a change still held back goes out before the
    // end, so every announcement has arrived when the drop is reported.
    live.cancelAfterStatuses(2, [&] {
        if (live.statuses.size() != 1)
            return;
        for (int i = 0; i < std::max(ownChanges, othersChanges); ++i) {
            if (i < ownChanges)
                m_service->publishDriveChange(email);
            if (i < othersChanges)
                m_service->publishDriveChange(other);
        }
        m_service->closeEventStreams(email);
    });

    live.run(*m_service);

    QCOMPARE(live.statuses, (Statuses{connected, disconnected(1)}));
    QVERIFY2(live.changes >= fewest && live.changes <= most,
             qPrintable(QStringLiteral("%1 announcements").arg(live.changes)));
}

void TestLiveEvents::cancellationClosesStream()
{
    LiveStream live;
    const QString email = signIn(live);
    live.cancelAfterStatuses(1);

    live.run(*m_service);

    QCOMPARE(live.statuses, Statuses{connected});
    // The connection is closed with the run; the service lets the stream go at its next
    // keep-alive, a few milliseconds later.
    QTRY_COMPARE_WITH_TIMEOUT(m_service->openEventStreams(email), 0, 2000);
    QCOMPARE(m_service->requestCount("GET", streamPath), 1);
}

QTEST_GUILESS_MAIN(TestLiveEvents)
#include "test_live_events.moc"
