// SPDX-License-Identifier: GPL-3.0-or-later
// Signing in end to end: the client of the core library, the local service over HTTP, and the
// session and trusted-device items in the Secret Service; then the silent re-login behind an
// expired token, and where it has to give up.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "OathTool.h"
#include "ServiceTest.h"
#include "errors/HttpErrorMapping.h"
#include "models/DriveDTOs.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <httplib.h>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

Q_DECLARE_METATYPE(OrvelanNimbal::TwoFactorMethod)

namespace {

const QString deviceLabel = QStringLiteral("Poste de test");
const QString quotaPath = QStringLiteral("/drive/quota");
const QString quotaServerPath = QStringLiteral("/api/v1/drive/quota");
const QString loginServerPath = QStringLiteral("/api/v1/auth/login-jmap");

} // namespace

class TestSignIn : public ServiceTest {
    Q_OBJECT

private slots:
    void signsInWithoutSecondFactor();
    void signsInWithSecondFactor_data();
    void signsInWithSecondFactor();
    void rememberedDeviceSkipsSecondFactor_data();
    void rememberedDeviceSkipsSecondFactor();
    void refusesWrongPasswordsThenCloses();
    void passkeyOnlyChallengeAcceptsNoCode();
    void refusesCodesTooLateOrTooOften_data();
    void refusesCodesTooLateOrTooOften();
    void clientWithoutSecondFactorSupport();
    void renewsExpiredTokenSilently_data();
    void renewsExpiredTokenSilently();
    void signsInAgainOnlyOncePerRequest();
};

void TestSignIn::signsInWithoutSecondFactor()
{
    const QString email = addAccount(QStringLiteral("plain"), false, {}, false, 2048);
    auto client = newClient();

    // Typed in capitals: the service answers with the address as created.
    const LoginOutcome outcome = runAsync(client->login(email.toUpper(), password));

    QVERIFY(outcome.session());
    QCOMPARE(outcome.session()->account, email);
    QCOMPARE(runAsync(keychain().sessionStore()->load()), std::optional(*outcome.session()));
    QCOMPARE(runAsync(client->get<QuotaDTO>(quotaPath)).quotaMax, std::optional<double>(2048));
}

void TestSignIn::signsInWithSecondFactor_data()
{
    QTest::addColumn<TwoFactorMethod>("method");
    QTest::addColumn<QString>("typedCode"); // empty: the authenticator's current code
    QTest::newRow("authenticator code") << TwoFactorMethod::totp << QString();
    QTest::newRow("recovery code typed loosely")
        << TwoFactorMethod::recovery << QStringLiteral("  ab12 CD34\n");
}

void TestSignIn::signsInWithSecondFactor()
{
    QFETCH(TwoFactorMethod, method);
    QFETCH(QString, typedCode);
    const QString email = addAccount(QStringLiteral("totp"), true, {QStringLiteral("AB12-CD34")});
    auto client = newClient();

    const QDateTime before = QDateTime::currentDateTimeUtc();
    const LoginOutcome outcome = runAsync(client->login(email, password));
    const TwoFactorChallenge *challenge = outcome.challenge();
    QVERIFY(challenge);
    QCOMPARE(challenge->account, email);
    QCOMPARE(challenge->methods, QStringList({QStringLiteral("totp"), QStringLiteral("recovery")}));
    QVERIFY(challenge->expiresAt >= before.addSecs(299));
    QVERIFY(challenge->expiresAt <= QDateTime::currentDateTimeUtc().addSecs(301));
    QVERIFY(!client->isAuthenticated());

    const QString code = typedCode.isEmpty() ? totpCode(totpSecret) : typedCode;
    const DriveSession session =
        runAsync(client->verifyTwoFactor(*challenge, method, code, false, deviceLabel));

    QCOMPARE(session.account, email);
    QCOMPARE(session.password, password);
    QCOMPARE(client->currentAccessToken(), session.accessToken);
    QCOMPARE(runAsync(keychain().sessionStore()->load()), std::optional(session));
    QVERIFY(!runAsync(keychain().trustedDevices()->token(email))); // not asked to remember
    QVERIFY(runAsync(client->get<QuotaDTO>(quotaPath)).quotaMax);
    if (method != TwoFactorMethod::recovery)
        return;

    // The only recovery code is spent: the next challenge no longer offers it, and it is
    // refused if sent all the same.
    const LoginOutcome again = runAsync(client->login(email, password));
    QVERIFY(again.challenge());
    QCOMPARE(again.challenge()->methods, QStringList{QStringLiteral("totp")});
    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(client->verifyTwoFactor(*again.challenge(), method, code, false, deviceLabel)),
        DriveError::twoFactorInvalidCode());
}

void TestSignIn::rememberedDeviceSkipsSecondFactor_data()
{
    QTest::addColumn<bool>("remember");
    QTest::newRow("remembered") << true;
    QTest::newRow("not remembered") << false;
}

void TestSignIn::rememberedDeviceSkipsSecondFactor()
{
    QFETCH(bool, remember);
    const QString email = addAccount(QStringLiteral("device"), true);
    auto client = newClient();
    signIn(*client, email, remember);
    // The token lives in the Secret Service under the account, whatever its letter case.
    QCOMPARE(runAsync(keychain().trustedDevices()->token(email.toUpper())).has_value(), remember);
    runAsync(client->logout());
    QVERIFY(!runAsync(keychain().sessionStore()->load()));

    // A new client, as after a restart: only the keychain remembers.
    auto restarted = newClient();
    const LoginOutcome second = runAsync(restarted->login(email, password));

    QCOMPARE(second.session() != nullptr, remember);
    QCOMPARE(second.challenge() != nullptr, !remember);
    QCOMPARE(restarted->isAuthenticated(), remember);
}

void TestSignIn::refusesWrongPasswordsThenCloses()
{
    const QString email = addAccount(QStringLiteral("guess"));
    auto client = newClient();
    for (int i = 0; i < 5; ++i)
        NIMBAL_EXPECT_DRIVE_ERROR(runAsync(client->login(email, QStringLiteral("guess"))),
                                  DriveError::notAuthenticated());
    // Closed now, even to the right password.
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(client->login(email, password)),
                              DriveError::tooManyAttempts());
    QVERIFY(!client->isAuthenticated());
}

void TestSignIn::passkeyOnlyChallengeAcceptsNoCode()
{
    const QString email = addAccount(QStringLiteral("passkey"), false, {}, true);
    const LoginOutcome outcome = runAsync(newClient()->login(email, password));
    QVERIFY(outcome.challenge());
    QCOMPARE(outcome.challenge()->methods, QStringList{QStringLiteral("webauthn")});
    QVERIFY(!outcome.challenge()->acceptsAnyCode());
}

void TestSignIn::refusesCodesTooLateOrTooOften_data()
{
    QTest::addColumn<bool>("expired"); // else five wrong codes come first
    QTest::newRow("challenge expired") << true;
    QTest::newRow("too many wrong codes") << false;
}

void TestSignIn::refusesCodesTooLateOrTooOften()
{
    QFETCH(bool, expired);
    const QString email = addAccount(QStringLiteral("late"), true);
    auto client = newClient();
    const LoginOutcome outcome = runAsync(client->login(email, password));
    QVERIFY(outcome.challenge());
    const auto verify = [&](const QString &code) {
        return runAsync(client->verifyTwoFactor(*outcome.challenge(), TwoFactorMethod::totp, code,
                                                false, deviceLabel));
    };
    if (expired)
        service().expirePendingLogins();
    // A six-digit code that none of the steps the service accepts right now would produce.
    const QStringList valid{totpCode(totpSecret, -1), totpCode(totpSecret),
                            totpCode(totpSecret, 1)};
    const QString wrong = valid.contains(u"000000"_qs) ? u"111111"_qs : u"000000"_qs;
    for (int i = 0; !expired && i < 5; ++i)
        NIMBAL_EXPECT_DRIVE_ERROR(verify(wrong), DriveError::twoFactorInvalidCode());

    // The right code comes too late.
    const DriveError expected =
        expired ? DriveError::twoFactorExpired() : DriveError::tooManyAttempts();
    NIMBAL_EXPECT_DRIVE_ERROR(verify(totpCode(totpSecret)), expected);
    QVERIFY(!client->isAuthenticated());
}

void TestSignIn::clientWithoutSecondFactorSupport()
{
    const QString email = addAccount(QStringLiteral("old-client"), true);
    // Sent by hand, as a client that knows nothing of second factors would: no "supports_2fa".
    const QJsonObject body{{QStringLiteral("email"), email},
                           {QStringLiteral("password"), password}};
    httplib::Client http("127.0.0.1", service().port());
    const httplib::Result answer = http.Post(
        loginServerPath.toStdString(),
        QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(), "application/json");

    QVERIFY(answer);
    QCOMPARE(answer->status, 403);
    QCOMPARE(mapLoginError(answer->status, QByteArray::fromStdString(answer->body), std::nullopt),
             DriveError::twoFactorClientUnsupported());
}

void TestSignIn::renewsExpiredTokenSilently_data()
{
    QTest::addColumn<bool>("withAuthenticator");
    QTest::addColumn<bool>("rememberDevice");
    QTest::addColumn<bool>("revokeDevice");
    QTest::addColumn<bool>("renewed");
    QTest::newRow("no second factor") << false << false << false << true;
    QTest::newRow("remembered device") << true << true << false << true;
    QTest::newRow("device never remembered") << true << false << false << false;
    QTest::newRow("remembered device revoked") << true << true << true << false;
}

void TestSignIn::renewsExpiredTokenSilently()
{
    QFETCH(bool, withAuthenticator);
    QFETCH(bool, rememberDevice);
    QFETCH(bool, revokeDevice);
    QFETCH(bool, renewed);
    const QString email = addAccount(QStringLiteral("renewal"), withAuthenticator);
    auto client = newClient();
    signIn(*client, email, rememberDevice);
    const QString before = client->currentAccessToken().value_or(QString());
    const int loginsBefore = service().requestCount("POST", loginServerPath);
    if (revokeDevice)
        service().expireTrustedDevices();
    service().expireAccessTokens();

    if (!renewed) {
        NIMBAL_EXPECT_DRIVE_ERROR(runAsync(client->get<QuotaDTO>(quotaPath)),
                                  DriveError::notAuthenticated());
        // Silent re-login cannot answer a second factor: the session is gone, held and stored.
        QVERIFY(!client->isAuthenticated());
        QVERIFY(!runAsync(keychain().sessionStore()->load()));
        QCOMPARE(service().requestCount("GET", quotaServerPath), 1);
        return;
    }
    QVERIFY(runAsync(client->get<QuotaDTO>(quotaPath)).quotaMax);
    // Refused once, signed in again once, sent again once.
    QCOMPARE(service().requestCount("GET", quotaServerPath), 2);
    QCOMPARE(service().requestCount("POST", loginServerPath), loginsBefore + 1);
    const auto after = client->currentAccessToken();
    QVERIFY(after && !after->isEmpty() && *after != before);
    const auto stored = runAsync(keychain().sessionStore()->load());
    QVERIFY(stored);
    QCOMPARE(stored->accessToken, *after);
    QCOMPARE(stored->account, email);
    QCOMPARE(stored->password, password);
}

void TestSignIn::signsInAgainOnlyOncePerRequest()
{
    auto client = newClient();
    signIn(*client, addAccount(QStringLiteral("loop")));
    // Every token the service hands out from now on is born expired.
    service().setAccessTokenLifetime(0);
    service().expireAccessTokens();
    const int loginsBefore = service().requestCount("POST", loginServerPath);

    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(client->get<QuotaDTO>(quotaPath)),
                              DriveError::notAuthenticated());

    // One re-login, one resend, then the refusal stands: no loop of sign-ins.
    QCOMPARE(service().requestCount("POST", loginServerPath), loginsBefore + 1);
    QCOMPARE(service().requestCount("GET", quotaServerPath), 2);
    // The password was accepted, so the new session stays.
    QVERIFY(client->isAuthenticated());
}

QTEST_GUILESS_MAIN(TestSignIn)
#include "test_sign_in.moc"
