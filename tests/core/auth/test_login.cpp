// SPDX-License-Identifier: GPL-3.0-or-later
// Sign-in and second-factor verification: the bodies sent, the answers read, what is stored.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "FakeTransport.h"
#include "ManualClock.h"

#include "auth/InMemoryStores.h"
#include "client/ApiClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;
using Reply = FakeTransport::Reply;

Q_DECLARE_METATYPE(OrvelanNimbal::DriveError)

namespace {

struct Harness {
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<InMemorySessionStore> sessions = std::make_shared<InMemorySessionStore>();
    std::shared_ptr<InMemoryTrustedDeviceStore> devices;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ApiClient> client;

    explicit Harness(QHash<QString, QString> trusted = {})
        : devices(std::make_shared<InMemoryTrustedDeviceStore>(std::move(trusted)))
    {
        client = ApiClient::create(
            DriveConfiguration(QUrl(QStringLiteral("https://api.test/api/v1")), 3, 400ms, 60),
            transport, sessions, devices, clock);
    }

    QJsonObject sentBody(qsizetype index = 0) const
    {
        return QJsonDocument::fromJson(transport->requests().at(index).body).object();
    }
};

const QString typed = QStringLiteral("Alice@Orvelan.net");
const QString password = QStringLiteral("pa ss");

TwoFactorChallenge challenge(QStringList methods = {QStringLiteral("totp")})
{
    return {QStringLiteral("alice@orvelan.net"), methods, {}, QStringLiteral("pending"), password};
}

} // namespace

class TestLogin : public QObject {
    Q_OBJECT

private slots:
    void loginRequest();
    void trustedDeviceTokenIsSentWhenKnown_data();
    void trustedDeviceTokenIsSentWhenKnown();
    void loginAnswers_data();
    void loginAnswers();
    void loginFailures_data();
    void loginFailures();
    void challengeDefaults();
    void verificationRequest();
    void verificationStoresTheSessionAndDevice_data();
    void verificationStoresTheSessionAndDevice();
    void verificationFailures_data();
    void verificationFailures();
    void methods();
};

void TestLogin::loginRequest()
{
    Harness harness;
    harness.transport->enqueue(Reply::ok(R"({"access_token":"t"})"));
    runAsync(harness.sessions->save({QStringLiteral("x"), QStringLiteral("held"), {}}));
    runAsync(harness.client->restoreSession());
    runAsync(harness.client->login(typed, password));

    const HttpRequest &sent = harness.transport->requests().constFirst();
    QCOMPARE(sent.method, QByteArray("POST"));
    QCOMPARE(sent.url.toString(), QStringLiteral("https://api.test/api/v1/auth/login-jmap"));
    QCOMPARE(sent.header("Content-Type"), std::optional(QByteArray("application/json")));
    QVERIFY(!sent.header("Authorization")); // even with a session held
    QCOMPARE(sent.timeout, 60.0);
    QCOMPARE(harness.sentBody(), (QJsonObject{{QStringLiteral("email"), typed},
                                              {QStringLiteral("password"), password},
                                              {QStringLiteral("supports_2fa"), true}}));
}

void TestLogin::trustedDeviceTokenIsSentWhenKnown_data()
{
    QTest::addColumn<QString>("storedFor");
    QTest::addColumn<bool>("sent");
    QTest::newRow("same letters") << QStringLiteral("alice@orvelan.net") << true;
    QTest::newRow("another account") << QStringLiteral("bob@orvelan.net") << false;
}

void TestLogin::trustedDeviceTokenIsSentWhenKnown()
{
    QFETCH(QString, storedFor);
    QFETCH(bool, sent);
    Harness harness;
    runAsync(harness.devices->save(QStringLiteral("device-1"), storedFor));
    harness.transport->enqueue(Reply::ok(R"({"access_token":"t"})"));
    runAsync(harness.client->login(typed, password)); // typed with capitals
    const QJsonObject body = harness.sentBody();
    QCOMPARE(body.contains(QStringLiteral("trusted_device_token")), sent);
    if (sent)
        QCOMPARE(body.value(QStringLiteral("trusted_device_token")).toString(),
                 QStringLiteral("device-1"));
}

void TestLogin::loginAnswers_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("account"); // of the session; empty when a challenge is expected
    QTest::addColumn<QString>("token");

    QTest::newRow("token") << QByteArray(R"({"access_token":"t"})") << typed << QStringLiteral("t");
    QTest::newRow("flag false with token")
        << QByteArray(R"({"two_factor_required":false,"access_token":"t"})") << typed
        << QStringLiteral("t");
    QTest::newRow("returned address wins")
        << QByteArray(R"({"access_token":"t","email":"alice@orvelan.net"})")
        << QStringLiteral("alice@orvelan.net") << QStringLiteral("t");
    QTest::newRow("flag without pending token is a plain answer")
        << QByteArray(R"({"two_factor_required":true,"access_token":"t"})") << typed
        << QStringLiteral("t");
    QTest::newRow("challenge") << QByteArray(
        R"({"two_factor_required":true,"pending_token":"p","methods":["totp"]})")
                               << QString() << QString();
}

void TestLogin::loginAnswers()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, account);
    QFETCH(QString, token);

    Harness harness;
    harness.transport->enqueue(Reply::ok(answer));
    const LoginOutcome outcome = runAsync(harness.client->login(typed, password));
    const auto stored = runAsync(harness.sessions->load());
    if (account.isEmpty()) {
        QVERIFY(outcome.challenge());
        QCOMPARE(stored, std::nullopt); // nothing stored, nothing held
        QVERIFY(!harness.client->isAuthenticated());
        return;
    }
    const DriveSession expected{account, token, password};
    QCOMPARE(outcome, LoginOutcome::signedIn(expected));
    QCOMPARE(stored, std::optional(expected));
    QCOMPARE(harness.client->session(), std::optional(expected));
}

void TestLogin::loginFailures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<DriveError>("expected");

    QTest::newRow("wrong password") << 401 << QByteArray() << DriveError::notAuthenticated();
    QTest::newRow("too many") << 429 << QByteArray() << DriveError::tooManyAttempts();
    QTest::newRow("client cannot do the second factor")
        << 403 << QByteArray(R"({"error":"two_factor_client_unsupported"})")
        << DriveError::twoFactorClientUnsupported();
    QTest::newRow("other 403") << 403 << QByteArray("{}") << DriveError::notAuthenticated();
    QTest::newRow("server error") << 500 << QByteArray("x") << DriveError::http(500, QStringLiteral("x"));
    QTest::newRow("flag without token, no access token")
        << 200 << QByteArray(R"({"two_factor_required":true})")
        << DriveError::decoding(QStringLiteral("$ : clé « access_token » absente"));
    // The parser words the cause of malformed JSON itself: only the case is compared.
    QTest::newRow("not JSON") << 200 << QByteArray("<html>") << DriveError::decoding({});
}

void TestLogin::loginFailures()
{
    QFETCH(int, status);
    QFETCH(QByteArray, answer);
    QFETCH(DriveError, expected);

    Harness harness;
    harness.transport->enqueue(Reply::withStatus(status, answer));
    try {
        runAsync(harness.client->login(typed, password));
        QFAIL("the login succeeded");
    } catch (const DriveError &error) {
        if (expected == DriveError::decoding({}))
            QCOMPARE(error.kind(), DriveError::Kind::decoding);
        else
            QCOMPARE(error, expected);
    }
    QCOMPARE(harness.transport->requests().size(), 1); // never retried
    QVERIFY(harness.clock->sleeps().isEmpty());
    QCOMPARE(runAsync(harness.sessions->load()), std::nullopt);
}

void TestLogin::challengeDefaults()
{
    Harness harness;
    harness.transport->enqueue(
        Reply::ok(R"({"two_factor_required":true,"pending_token":"p","methods":["totp"]})"));
    const QDateTime now = harness.clock->currentDateTime();
    const LoginOutcome outcome = runAsync(harness.client->login(typed, password));
    const TwoFactorChallenge expected{typed, {QStringLiteral("totp")}, now.addSecs(300),
                                      QStringLiteral("p"), password};
    QCOMPARE(outcome, LoginOutcome::twoFactorRequired(expected));
    QVERIFY(!outcome.challenge()->acceptsRecoveryCode());
    QVERIFY(outcome.challenge()->acceptsAnyCode());

    harness.transport->enqueue(Reply::ok(
        R"({"two_factor_required":true,"pending_token":"q","expires_in":60,"email":"a@b.c"})"));
    const auto other = runAsync(harness.client->login(typed, password));
    QCOMPARE(other.challenge()->account, QStringLiteral("a@b.c"));
    QCOMPARE(other.challenge()->methods, QStringList());
    QCOMPARE(other.challenge()->expiresAt, now.addSecs(60));
    QVERIFY(!other.challenge()->acceptsAnyCode()); // e.g. a passkey-only account
}

void TestLogin::verificationRequest()
{
    Harness harness;
    harness.transport->enqueue(Reply::ok(R"({"access_token":"t"})"));
    runAsync(harness.client->verifyTwoFactor(challenge(), TwoFactorMethod::recovery,
                                             QStringLiteral("  12 34\n"), false,
                                             QStringLiteral("Poste de Alice")));
    const HttpRequest &sent = harness.transport->requests().constFirst();
    QCOMPARE(sent.url.path(), QStringLiteral("/api/v1/auth/2fa/verify"));
    QCOMPARE(sent.method, QByteArray("POST"));
    QVERIFY(!sent.header("Authorization"));
    QCOMPARE(harness.sentBody(), (QJsonObject{{QStringLiteral("pending_token"), QStringLiteral("pending")},
                                              {QStringLiteral("method"), QStringLiteral("recovery")},
                                              {QStringLiteral("code"), QStringLiteral("12 34")},
                                              {QStringLiteral("remember_device"), false},
                                              {QStringLiteral("device_label"),
                                               QStringLiteral("Poste de Alice")}}));
}

void TestLogin::verificationStoresTheSessionAndDevice_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("deviceToken"); // empty: nothing stored

    QTest::newRow("plain") << QByteArray(R"({"access_token":"t"})")
                           << QStringLiteral("alice@orvelan.net") << QString();
    QTest::newRow("remembered")
        << QByteArray(R"({"access_token":"t","trusted_device_token":"dev"})")
        << QStringLiteral("alice@orvelan.net") << QStringLiteral("dev");
    QTest::newRow("empty device token stores nothing")
        << QByteArray(R"({"access_token":"t","trusted_device_token":""})")
        << QStringLiteral("alice@orvelan.net") << QString();
    QTest::newRow("returned address wins")
        << QByteArray(R"({"access_token":"t","email":"ALICE@orvelan.net"})")
        << QStringLiteral("ALICE@orvelan.net") << QString();
}

void TestLogin::verificationStoresTheSessionAndDevice()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, account);
    QFETCH(QString, deviceToken);

    Harness harness;
    harness.transport->enqueue(Reply::ok(answer));
    const DriveSession session = runAsync(harness.client->verifyTwoFactor(
        challenge(), TwoFactorMethod::totp, QStringLiteral("123456"), true, QStringLiteral("PC")));
    const DriveSession expected{account, QStringLiteral("t"), password};
    QCOMPARE(session, expected);
    QCOMPARE(runAsync(harness.sessions->load()), std::optional(expected));
    QCOMPARE(harness.client->session(), std::optional(expected));
    // Stored under the challenge's account, whatever its letter case.
    const auto device = runAsync(harness.devices->token(QStringLiteral("Alice@Orvelan.NET")));
    QCOMPARE(device, deviceToken.isEmpty() ? std::nullopt : std::optional(deviceToken));
}

void TestLogin::verificationFailures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<DriveError>("expected");
    QTest::newRow("429") << 429 << DriveError::tooManyAttempts();
    QTest::newRow("410") << 410 << DriveError::twoFactorExpired();
    QTest::newRow("401") << 401 << DriveError::twoFactorInvalidCode();
    QTest::newRow("403") << 403 << DriveError::notAuthenticated();
    QTest::newRow("502") << 502 << DriveError::http(502, QStringLiteral("gateway"));
}

void TestLogin::verificationFailures()
{
    QFETCH(int, status);
    QFETCH(DriveError, expected);

    Harness harness;
    const DriveSession before{QStringLiteral("x"), QStringLiteral("old"), QStringLiteral("p")};
    runAsync(harness.sessions->save(before));
    harness.transport->enqueue(Reply::withStatus(status, "gateway"));
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(harness.client->verifyTwoFactor(
                                  challenge(), TwoFactorMethod::totp, QStringLiteral("000000"),
                                  true, QStringLiteral("PC"))),
                              expected);
    QCOMPARE(harness.transport->requests().size(), 1);
    QCOMPARE(runAsync(harness.sessions->load()), std::optional(before));
    if (status == 401)
        QCOMPARE(QString::fromUtf8(expected.what()), QStringLiteral("Code invalide."));
}

void TestLogin::methods()
{
    QCOMPARE(twoFactorMethodFromRawValue(u"totp"), std::optional(TwoFactorMethod::totp));
    QCOMPARE(twoFactorMethodFromRawValue(u"recovery"), std::optional(TwoFactorMethod::recovery));
    QCOMPARE(twoFactorMethodFromRawValue(u"TOTP"), std::nullopt);
    QCOMPARE(twoFactorMethodFromRawValue(u"webauthn"), std::nullopt);

    QVERIFY(challenge({QStringLiteral("recovery")}).acceptsRecoveryCode());
    QVERIFY(!challenge({QStringLiteral("recovery")}).acceptsAuthenticatorCode());
    QVERIFY(!challenge({QStringLiteral("Totp")}).acceptsAnyCode());
    QVERIFY(!challenge({QStringLiteral("webauthn")}).acceptsAnyCode());
}

QTEST_GUILESS_MAIN(TestLogin)
#include "test_login.moc"
