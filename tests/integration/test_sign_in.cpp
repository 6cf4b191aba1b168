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
    void recoveryCodeWorksOnce();
    void rememberedDeviceSkipsSecondFactor_data();
    void rememberedDeviceSkipsSecondFactor();
    void refusesWrongPassword();
    void passkeyOnlyChallengeAcceptsNoCode();
    void tooManyAttempts_data();
    void tooManyAttempts();
    void expiredChallenge();
    void clientWithoutSecondFactorSupport_data();
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
}

void TestSignIn::recoveryCodeWorksOnce()
{
    const QString email =
        addAccount(QStringLiteral("recovery"), true, {QStringLiteral("ab12-cd34")});
    auto client = newClient();
    const LoginOutcome first = runAsync(client->login(email, password));
    QVERIFY(first.challenge());
    runAsync(client->verifyTwoFactor(*first.challenge(), TwoFactorMethod::recovery,
                                     QStringLiteral("ab12-cd34"), false, deviceLabel));

    // The only code is spent: the next challenge no longer offers recovery, and the code is
    // refused if sent all the same.
    const LoginOutcome second = runAsync(client->login(email, password));
    QVERIFY(second.challenge());
    QCOMPARE(second.challenge()->methods, QStringList{QStringLiteral("totp")});
    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(client->verifyTwoFactor(*second.challenge(), TwoFactorMethod::recovery,
                                         QStringLiteral("ab12-cd34"), false, deviceLabel)),
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

void TestSignIn::refusesWrongPassword()
{
    const QString email = addAccount(QStringLiteral("wrong"));
    auto client = newClient();
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(client->login(email, QStringLiteral("not it"))),
                              DriveError::notAuthenticated());
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

void TestSignIn::tooManyAttempts_data()
{
    QTest::addColumn<bool>("atVerification");
    QTest::newRow("passwords") << false;
    QTest::newRow("codes") << true;
}

void TestSignIn::tooManyAttempts()
{
    QFETCH(bool, atVerification);
    const QString email = addAccount(QStringLiteral("guess"), true);
    auto client = newClient();
    constexpr int allowedFailures = 5;

    if (!atVerification) {
        for (int i = 0; i < allowedFailures; ++i)
            NIMBAL_EXPECT_DRIVE_ERROR(runAsync(client->login(email, QStringLiteral("guess"))),
                                      DriveError::notAuthenticated());
        // Closed now, even to the right password.
        NIMBAL_EXPECT_DRIVE_ERROR(runAsync(client->login(email, password)),
                                  DriveError::tooManyAttempts());
        return;
    }
    const LoginOutcome outcome = runAsync(client->login(email, password));
    QVERIFY(outcome.challenge());
    // A six-digit code that none of the steps the service accepts right now would produce.
    const QStringList valid{totpCode(totpSecret, -1), totpCode(totpSecret),
                            totpCode(totpSecret, 1)};
    const QString wrong = valid.contains(u"000000"_qs) ? u"111111"_qs : u"000000"_qs;
    const auto verify = [&](const QString &code) {
        return runAsync(client->verifyTwoFactor(*outcome.challenge(), TwoFactorMethod::totp, code,
                                                false, deviceLabel));
    };
    for (int i = 0; i < allowedFailures; ++i)
        NIMBAL_EXPECT_DRIVE_ERROR(verify(wrong), DriveError::twoFactorInvalidCode());
    NIMBAL_EXPECT_DRIVE_ERROR(verify(totpCode(totpSecret)), DriveError::tooManyAttempts());
    QVERIFY(!client->isAuthenticated());
}

void TestSignIn::expiredChallenge()
{
    const QString email = addAccount(QStringLiteral("late"), true);
    auto client = newClient();
    const LoginOutcome outcome = runAsync(client->login(email, password));
    QVERIFY(outcome.challenge());
    service().expirePendingLogins();

    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(client->verifyTwoFactor(*outcome.challenge(), TwoFactorMethod::totp,
                                         totpCode(totpSecret), false, deviceLabel)),
        DriveError::twoFactorExpired());
    QVERIFY(!client->isAuthenticated());
}

void TestSignIn::clientWithoutSecondFactorSupport_data()
{
    QTest::addColumn<bool>("passkey");
    QTest::addColumn<QJsonValue>("supportsTwoFactor"); // undefined: the key is left out
    QTest::newRow("authenticator, key absent") << false << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("passkey, false") << true << QJsonValue(false);
}

void TestSignIn::clientWithoutSecondFactorSupport()
{
    QFETCH(bool, passkey);
    QFETCH(QJsonValue, supportsTwoFactor);
    const QString email = addAccount(QStringLiteral("old-client"), !passkey, {}, passkey);
    QJsonObject body{{QStringLiteral("email"), email}, {QStringLiteral("password"), password}};
    if (!supportsTwoFactor.isUndefined())
        body.insert(QStringLiteral("supports_2fa"), supportsTwoFactor);

    // Sent by hand, as a client without a second-factor screen would.
    httplib::Client http("127.0.0.1", service().port());
    const httplib::Result answer = http.Post(
        loginServerPath.toStdString(),
        QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(), "application/json");

    QVERIFY(answer);
    QCOMPARE(answer->status, 403);
    const QByteArray answerBody = QByteArray::fromStdString(answer->body);
    QCOMPARE(mapLoginError(answer->status, answerBody, std::nullopt),
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
