// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServiceTest.h"

#include "AsyncTest.h"
#include "OathTool.h"
#include "config/OrvelanNimbal.h"
#include "net/CurlTransport.h"

#include <QTest>
#include <QUuid>

namespace OrvelanNimbal::Testing {

namespace {

// Seconds without traffic before a request fails; far below the application's minute, far
// above anything the local service needs.
constexpr double requestTimeoutSeconds = 5.0;

// Service names of this run's own.
const QString runSuffix =
    QStringLiteral(".test-") + QUuid::createUuid().toString(QUuid::Id128).left(12);

} // namespace

KeychainScope::KeychainScope()
    : m_sessionStore(std::make_shared<KeychainSessionStore>(sessionKeychainService + runSuffix,
                                                            appGroupIdentifier))
    , m_trustedDevices(std::make_shared<KeychainTrustedDeviceStore>(
          trustedDeviceKeychainService + runSuffix, appGroupIdentifier))
{}

KeychainScope::~KeychainScope()
{
    try {
        runAsync(m_sessionStore->clear());
        for (const QString &account : std::as_const(m_accounts))
            runAsync(m_trustedDevices->remove(account));
    } catch (const std::exception &) {
        // Items left behind live in the test session's throw-away keyring.
    }
}

const QString ServiceTest::password = QStringLiteral("s3cret pass phrase");
const QString ServiceTest::totpSecret = QStringLiteral("JBSWY3DPEHPK3PXPJBSWY3DPEHPK3PXP");

void ServiceTest::initTestCase()
{
    if (const QString reason = LocalService::unavailableReason(); !reason.isEmpty())
        QSKIP(qPrintable(reason));
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        QSKIP("no D-Bus session, hence no Secret Service: run through ./run test");
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_keychain = std::make_unique<KeychainScope>();
}

void ServiceTest::cleanup()
{
    m_service->reset();
}

std::shared_ptr<ApiClient> ServiceTest::newClient(std::shared_ptr<Clock> clock,
                                                  std::shared_ptr<HTTPTransport> transport)
{
    if (!transport)
        transport = std::make_shared<CurlTransport>();
    return ApiClient::create(DriveConfiguration(m_service->apiBaseURL(), 3,
                                                std::chrono::milliseconds(5),
                                                requestTimeoutSeconds),
                             std::move(transport), m_keychain->sessionStore(),
                             m_keychain->trustedDevices(), std::move(clock));
}

QString ServiceTest::addAccount(const QString &tag, bool withAuthenticator,
                                QStringList recoveryCodes, bool passkeyOnly, qint64 quotaMegabytes)
{
    QString email = LocalService::uniqueEmail(tag);
    m_service->addAccount({email, password, withAuthenticator ? totpSecret : QString(),
                           std::move(recoveryCodes), passkeyOnly, quotaMegabytes});
    m_keychain->forgetLater(email);
    return email;
}

void ServiceTest::signIn(ApiClient &client, const QString &email, bool rememberDevice)
{
    const LoginOutcome outcome = runAsync(client.login(email, password));
    if (const TwoFactorChallenge *challenge = outcome.challenge())
        runAsync(client.verifyTwoFactor(*challenge, TwoFactorMethod::totp, totpCode(totpSecret),
                                        rememberDevice, QStringLiteral("Poste de test")));
}

DriveAccount ServiceTest::signedInAccount(const QString &tag, qint64 quotaMegabytes)
{
    const QString email = addAccount(tag, false, {}, false, quotaMegabytes);
    auto client = newClient();
    signIn(*client, email);
    return {email, client, DriveAPI(client)};
}

} // namespace OrvelanNimbal::Testing
