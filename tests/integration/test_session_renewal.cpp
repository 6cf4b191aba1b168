// SPDX-License-Identifier: GPL-3.0-or-later
// The silent re-login behind a refused token, end to end: the service voids the token, the
// next request is answered 401, and the client signs in again with the stored password (and
// the trusted-device token), or gives the session up when a second factor would be needed.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "LocalService.h"
#include "OathTool.h"
#include "ServiceClient.h"
#include "models/DriveDTOs.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

const QString password = QStringLiteral("s3cret pass phrase");
const QString secret = QStringLiteral("GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ");
const QString quotaPath = QStringLiteral("/drive/quota");
const QString quotaServerPath = QStringLiteral("/api/v1/drive/quota");
const QString loginServerPath = QStringLiteral("/api/v1/auth/login-jmap");
constexpr qint64 quotaMegabytes = 512;

} // namespace

class TestSessionRenewal : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void renewsExpiredTokenSilently_data();
    void renewsExpiredTokenSilently();
    void givesUpWhenSecondFactorIsNeeded_data();
    void givesUpWhenSecondFactorIsNeeded();
    void signsInAgainOnlyOncePerRequest();

private:
    // Signs a new account in on `client`, through its second factor when it has one.
    QString signIn(ApiClient &client, bool withAuthenticator, bool rememberDevice);

    std::unique_ptr<LocalService> m_service;
    std::unique_ptr<KeychainScope> m_keychain;
};

void TestSessionRenewal::initTestCase() {
    for (const QString &reason :
         {LocalService::unavailableReason(), KeychainScope::unavailableReason()}) {
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
    }
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_keychain = std::make_unique<KeychainScope>();
}

void TestSessionRenewal::cleanup() {
    m_service->reset();
}

QString TestSessionRenewal::signIn(ApiClient &client, bool withAuthenticator, bool rememberDevice) {
    const QString email = LocalService::uniqueEmail(QStringLiteral("renewal"));
    m_service->addAccount(
        {email, password, withAuthenticator ? secret : QString(), {}, false, quotaMegabytes});
    m_keychain->forgetLater(email);
    const LoginOutcome outcome = runAsync(client.login(email, password));
    if (const TwoFactorChallenge *challenge = outcome.challenge())
        runAsync(client.verifyTwoFactor(*challenge, TwoFactorMethod::totp, totpCode(secret),
                                        rememberDevice, QStringLiteral("Poste de test")));
    return email;
}

void TestSessionRenewal::renewsExpiredTokenSilently_data() {
    QTest::addColumn<bool>("withAuthenticator");
    QTest::newRow("account without second factor") << false;
    QTest::newRow("remembered device") << true;
}

void TestSessionRenewal::renewsExpiredTokenSilently() {
    QFETCH(bool, withAuthenticator);
    auto client = makeServiceClient(*m_service, *m_keychain);
    const QString email = signIn(*client, withAuthenticator, true);
    const QString before = client->currentAccessToken().value_or(QString());
    const int loginsBefore = m_service->requestCount("POST", loginServerPath);
    m_service->expireAccessTokens();

    const auto quota = runAsync(client->get<QuotaDTO>(quotaPath));

    QCOMPARE(quota.quotaMax, std::optional<double>(quotaMegabytes));
    // Refused once, signed in again once, sent again once.
    QCOMPARE(m_service->requestCount("GET", quotaServerPath), 2);
    QCOMPARE(m_service->requestCount("POST", loginServerPath), loginsBefore + 1);
    const auto after = client->currentAccessToken();
    QVERIFY(after && !after->isEmpty() && *after != before);
    const auto stored = runAsync(m_keychain->sessionStore()->load());
    QVERIFY(stored);
    QCOMPARE(stored->accessToken, *after);
    QCOMPARE(stored->account, email);
    QCOMPARE(stored->password, password);
}

void TestSessionRenewal::givesUpWhenSecondFactorIsNeeded_data() {
    QTest::addColumn<bool>("rememberDevice");
    QTest::newRow("device never remembered") << false;
    QTest::newRow("remembered device revoked") << true;
}

void TestSessionRenewal::givesUpWhenSecondFactorIsNeeded() {
    QFETCH(bool, rememberDevice);
    auto client = makeServiceClient(*m_service, *m_keychain);
    signIn(*client, true, rememberDevice);
    QVERIFY(client->isAuthenticated());
    if (rememberDevice)
        m_service->expireTrustedDevices();
    m_service->expireAccessTokens();

    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(client->get<QuotaDTO>(quotaPath)),
                              DriveError::notAuthenticated());

    // Silent re-login cannot answer a second factor: the session is gone, held and stored.
    QVERIFY(!client->isAuthenticated());
    QVERIFY(!runAsync(m_keychain->sessionStore()->load()));
    QCOMPARE(m_service->requestCount("GET", quotaServerPath), 1);
}

void TestSessionRenewal::signsInAgainOnlyOncePerRequest() {
    auto client = makeServiceClient(*m_service, *m_keychain);
    signIn(*client, false, false);
    // Every token the service hands out from now on is born expired.
    m_service->setAccessTokenLifetime(0);
    m_service->expireAccessTokens();
    const int loginsBefore = m_service->requestCount("POST", loginServerPath);

    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(client->get<QuotaDTO>(quotaPath)),
                              DriveError::notAuthenticated());

    // One re-login, one resend, then the refusal stands: no loop of sign-ins.
    QCOMPARE(m_service->requestCount("POST", loginServerPath), loginsBefore + 1);
    QCOMPARE(m_service->requestCount("GET", quotaServerPath), 2);
    // The password was accepted, so the new session stays.
    QVERIFY(client->isAuthenticated());
}

QTEST_GUILESS_MAIN(TestSessionRenewal)
#include "test_session_renewal.moc"
