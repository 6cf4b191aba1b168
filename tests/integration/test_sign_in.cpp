// SPDX-License-Identifier: GPL-3.0-or-later
// Sign-in with and without a second factor, end to end: the client of the core library, the
// local service over HTTP, and the session and trusted-device items in the Secret Service.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "LocalService.h"
#include "OathTool.h"
#include "ServiceClient.h"
#include "client/NetworkAccessTransport.h"
#include "errors/HttpErrorMapping.h"
#include "models/DriveDTOs.h"

#include <QCoro/QCoroNetworkReply>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

Q_DECLARE_METATYPE(OrvelanNimbal::TwoFactorMethod)

namespace {

const QString password = QStringLiteral("correct horse battery");
const QString secret = QStringLiteral("JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP");
const QString deviceLabel = QStringLiteral("Poste de test");
constexpr qint64 quotaMegabytes = 2048;

struct RawAnswer {
    int status = 0;
    QByteArray body;
};

// A sign-in request written by hand, as a client without a second-factor screen would send it.
QCoro::Task<RawAnswer> postRaw(QUrl url, QByteArray body) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    std::unique_ptr<QNetworkReply> reply(sharedNetworkAccessManager().post(request, body));
    co_await reply.get();
    co_return RawAnswer{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                        reply->readAll()};
}

// A six-digit code that none of the steps the service accepts right now would produce.
QString wrongCode() {
    const QStringList valid{totpCode(secret, -1), totpCode(secret), totpCode(secret, 1)};
    return valid.contains(QStringLiteral("000000")) ? QStringLiteral("111111")
                                                    : QStringLiteral("000000");
}

} // namespace

class TestSignIn : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void signsInWithoutSecondFactor_data();
    void signsInWithoutSecondFactor();
    void signsInWithSecondFactor_data();
    void signsInWithSecondFactor();
    void recoveryCodeWorksOnce();
    void rememberedDeviceSkipsSecondFactor_data();
    void rememberedDeviceSkipsSecondFactor();
    void refusesWrongCredentials_data();
    void refusesWrongCredentials();
    void passkeyOnlyChallengeAcceptsNoCode();
    void tooManyAttempts_data();
    void tooManyAttempts();
    void expiredChallenge_data();
    void expiredChallenge();
    void clientWithoutSecondFactorSupport_data();
    void clientWithoutSecondFactorSupport();

private:
    // A new account of the local service; returns its address as created.
    QString addAccount(const QString &tag, bool withAuthenticator, QStringList recoveryCodes = {},
                       bool passkeyOnly = false);
    std::shared_ptr<ApiClient> newClient() { return makeServiceClient(*m_service, *m_keychain); }

    std::unique_ptr<LocalService> m_service;
    std::unique_ptr<KeychainScope> m_keychain;
};

void TestSignIn::initTestCase() {
    for (const QString &reason :
         {LocalService::unavailableReason(), KeychainScope::unavailableReason()}) {
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
    }
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_keychain = std::make_unique<KeychainScope>();
}

void TestSignIn::cleanup() {
    m_service->reset();
}

QString TestSignIn::addAccount(const QString &tag, bool withAuthenticator,
                               QStringList recoveryCodes, bool passkeyOnly) {
    const QString email = LocalService::uniqueEmail(tag);
    m_service->addAccount({email, password, withAuthenticator ? secret : QString(),
                           std::move(recoveryCodes), passkeyOnly, quotaMegabytes});
    m_keychain->forgetLater(email);
    return email;
}

void TestSignIn::signsInWithoutSecondFactor_data() {
    QTest::addColumn<bool>("typedInCapitals");
    QTest::newRow("address as created") << false;
    QTest::newRow("address in capitals") << true;
}

void TestSignIn::signsInWithoutSecondFactor() {
    QFETCH(bool, typedInCapitals);
    const QString email = addAccount(QStringLiteral("plain"), false);
    auto client = newClient();

    const LoginOutcome outcome =
        runAsync(client->login(typedInCapitals ? email.toUpper() : email, password));

    QVERIFY(outcome.session());
    // The service answers with the address as created, whatever the letter case typed.
    QCOMPARE(outcome.session()->account, email);
    QCOMPARE(client->account(), email);
    const auto stored = runAsync(m_keychain->sessionStore()->load());
    QVERIFY(stored);
    QCOMPARE(*stored, *outcome.session());
    const auto quota = runAsync(client->get<QuotaDTO>(QStringLiteral("/drive/quota")));
    QCOMPARE(quota.quotaMax, std::optional<double>(quotaMegabytes));
    QCOMPARE(quota.quotaUsed, std::optional<double>(0));
}

void TestSignIn::signsInWithSecondFactor_data() {
    QTest::addColumn<TwoFactorMethod>("method");
    QTest::addColumn<QString>("typedCode"); // empty: the authenticator's current code
    QTest::newRow("authenticator code") << TwoFactorMethod::totp << QString();
    QTest::newRow("recovery code") << TwoFactorMethod::recovery << QStringLiteral("ab12-cd34");
    QTest::newRow("recovery code typed loosely")
        << TwoFactorMethod::recovery << QStringLiteral("  AB12 CD34\n");
}

void TestSignIn::signsInWithSecondFactor() {
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

    const QString code = typedCode.isEmpty() ? totpCode(secret) : typedCode;
    const DriveSession session =
        runAsync(client->verifyTwoFactor(*challenge, method, code, false, deviceLabel));

    QCOMPARE(session.account, email);
    QCOMPARE(session.password, password);
    QCOMPARE(client->currentAccessToken(), session.accessToken);
    QCOMPARE(runAsync(m_keychain->sessionStore()->load()), std::optional(session));
    QVERIFY(!runAsync(m_keychain->trustedDevices()->token(email))); // not asked to remember
    const auto quota = runAsync(client->get<QuotaDTO>(QStringLiteral("/drive/quota")));
    QCOMPARE(quota.quotaMax, std::optional<double>(quotaMegabytes));
}

void TestSignIn::recoveryCodeWorksOnce() {
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
    try {
        runAsync(client->verifyTwoFactor(*second.challenge(), TwoFactorMethod::recovery,
                                         QStringLiteral("ab12-cd34"), false, deviceLabel));
        QFAIL("a spent recovery code was accepted");
    } catch (const DriveError &error) {
        QCOMPARE(error, DriveError::twoFactorInvalidCode());
        QCOMPARE(error.errorDescription(), QStringLiteral("Code invalide."));
    }
}

void TestSignIn::rememberedDeviceSkipsSecondFactor_data() {
    QTest::addColumn<bool>("remember");
    QTest::newRow("remembered") << true;
    QTest::newRow("not remembered") << false;
}

void TestSignIn::rememberedDeviceSkipsSecondFactor() {
    QFETCH(bool, remember);
    const QString email = addAccount(QStringLiteral("device"), true);
    auto client = newClient();
    const LoginOutcome first = runAsync(client->login(email, password));
    QVERIFY(first.challenge());
    runAsync(client->verifyTwoFactor(*first.challenge(), TwoFactorMethod::totp, totpCode(secret),
                                     remember, deviceLabel));
    // The token lives in the Secret Service under the account, whatever its letter case.
    QCOMPARE(runAsync(m_keychain->trustedDevices()->token(email.toUpper())).has_value(), remember);
    runAsync(client->logout());
    QVERIFY(!runAsync(m_keychain->sessionStore()->load()));

    // A new client, as after a restart: only the keychain remembers.
    auto restarted = newClient();
    const LoginOutcome second = runAsync(restarted->login(email, password));

    QCOMPARE(second.session() != nullptr, remember);
    QCOMPARE(second.challenge() != nullptr, !remember);
    QCOMPARE(restarted->isAuthenticated(), remember);
}

void TestSignIn::refusesWrongCredentials_data() {
    QTest::addColumn<bool>("knownAddress");
    QTest::newRow("wrong password") << true;
    QTest::newRow("unknown address") << false;
}

void TestSignIn::refusesWrongCredentials() {
    QFETCH(bool, knownAddress);
    const QString email = knownAddress ? addAccount(QStringLiteral("wrong"), false)
                                       : LocalService::uniqueEmail(QStringLiteral("nobody"));
    auto client = newClient();

    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(client->login(email, QStringLiteral("not it"))),
                              DriveError::notAuthenticated());
    QVERIFY(!client->isAuthenticated());
}

void TestSignIn::passkeyOnlyChallengeAcceptsNoCode() {
    const QString email = addAccount(QStringLiteral("passkey"), false, {}, true);
    auto client = newClient();

    const LoginOutcome outcome = runAsync(client->login(email, password));

    QVERIFY(outcome.challenge());
    QCOMPARE(outcome.challenge()->methods, QStringList{QStringLiteral("webauthn")});
    QVERIFY(!outcome.challenge()->acceptsAnyCode());
}

void TestSignIn::tooManyAttempts_data() {
    QTest::addColumn<bool>("atVerification");
    QTest::newRow("passwords") << false;
    QTest::newRow("codes") << true;
}

void TestSignIn::tooManyAttempts() {
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
    const QString wrong = wrongCode();
    for (int i = 0; i < allowedFailures; ++i)
        NIMBAL_EXPECT_DRIVE_ERROR(
            runAsync(client->verifyTwoFactor(*outcome.challenge(), TwoFactorMethod::totp, wrong,
                                             false, deviceLabel)),
            DriveError::twoFactorInvalidCode());
    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(client->verifyTwoFactor(*outcome.challenge(), TwoFactorMethod::totp,
                                         totpCode(secret), false, deviceLabel)),
        DriveError::tooManyAttempts());
    QVERIFY(!client->isAuthenticated());
}

void TestSignIn::expiredChallenge_data() {
    QTest::addColumn<bool>("voidedByService");
    QTest::newRow("voided by the service") << true;
    QTest::newRow("lifetime of no time at all") << false;
}

void TestSignIn::expiredChallenge() {
    QFETCH(bool, voidedByService);
    const QString email = addAccount(QStringLiteral("late"), true);
    auto client = newClient();
    if (!voidedByService)
        m_service->setPendingLoginLifetime(0);

    const LoginOutcome outcome = runAsync(client->login(email, password));
    QVERIFY(outcome.challenge());
    if (voidedByService)
        m_service->expirePendingLogins();
    else
        QVERIFY(outcome.challenge()->expiresAt <= QDateTime::currentDateTimeUtc());

    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(client->verifyTwoFactor(*outcome.challenge(), TwoFactorMethod::totp,
                                         totpCode(secret), false, deviceLabel)),
        DriveError::twoFactorExpired());
    QVERIFY(!client->isAuthenticated());
}

void TestSignIn::clientWithoutSecondFactorSupport_data() {
    QTest::addColumn<bool>("passkey");
    QTest::addColumn<QJsonValue>("supportsTwoFactor"); // undefined: the key is left out
    QTest::newRow("authenticator, false") << false << QJsonValue(false);
    QTest::newRow("authenticator, key absent") << false << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("authenticator, text \"true\"") << false << QJsonValue(QStringLiteral("true"));
    QTest::newRow("passkey, false") << true << QJsonValue(false);
}

void TestSignIn::clientWithoutSecondFactorSupport() {
    QFETCH(bool, passkey);
    QFETCH(QJsonValue, supportsTwoFactor);
    const QString email = addAccount(QStringLiteral("old-client"), !passkey, {}, passkey);
    QJsonObject body{{QStringLiteral("email"), email}, {QStringLiteral("password"), password}};
    if (!supportsTwoFactor.isUndefined())
        body.insert(QStringLiteral("supports_2fa"), supportsTwoFactor);
    QUrl url = m_service->apiBaseURL();
    url.setPath(url.path() + QStringLiteral("/auth/login-jmap"));

    const RawAnswer answer =
        runAsync(postRaw(url, QJsonDocument(body).toJson(QJsonDocument::Compact)));

    QCOMPARE(answer.status, 403);
    QVERIFY2(answer.body.contains("two_factor_client_unsupported"), answer.body.constData());
    QCOMPARE(mapLoginError(answer.status, answer.body, std::nullopt),
             DriveError::twoFactorClientUnsupported());
}

QTEST_GUILESS_MAIN(TestSignIn)
#include "test_sign_in.moc"
