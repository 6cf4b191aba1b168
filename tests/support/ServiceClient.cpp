// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServiceClient.h"

#include "AsyncTest.h"
#include "LocalService.h"
#include "client/NetworkAccessTransport.h"
#include "config/OrvelanNimbal.h"

#include <QUuid>

namespace OrvelanNimbal::Testing {

namespace {

// Seconds without traffic before a request fails; far below the application's minute, far
// above anything the local service needs.
constexpr double requestTimeoutSeconds = 5.0;

QString runSuffix() {
    static const QString suffix =
        QStringLiteral(".test-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
    return suffix;
}

} // namespace

QString KeychainScope::unavailableReason() {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return QStringLiteral("no D-Bus session, hence no Secret Service: run through ./run test");
    return {};
}

KeychainScope::KeychainScope()
    : m_sessionStore(std::make_shared<KeychainSessionStore>(sessionKeychainService + runSuffix(),
                                                            appGroupIdentifier))
    , m_trustedDevices(std::make_shared<KeychainTrustedDeviceStore>(
          trustedDeviceKeychainService + runSuffix(), appGroupIdentifier)) {}

KeychainScope::~KeychainScope() {
    try {
        runAsync(m_sessionStore->clear());
        for (const QString &account : std::as_const(m_accounts))
            runAsync(m_trustedDevices->remove(account));
    } catch (const std::exception &) {
        // Items left behind live in the test session's throw-away keyring.
    }
}

std::shared_ptr<ApiClient> makeServiceClient(const LocalService &service, KeychainScope &keychain,
                                             int maxAttempts,
                                             std::chrono::milliseconds retryBaseDelay,
                                             std::shared_ptr<Clock> clock,
                                             std::shared_ptr<HTTPTransport> transport) {
    if (!transport)
        transport = std::make_shared<NetworkAccessTransport>();
    return ApiClient::create(DriveConfiguration(service.apiBaseURL(), maxAttempts, retryBaseDelay,
                                                requestTimeoutSeconds),
                             std::move(transport), keychain.sessionStore(),
                             keychain.trustedDevices(), std::move(clock));
}

CountingTransport::CountingTransport()
    : m_inner(std::make_shared<NetworkAccessTransport>())
{
}

QCoro::Task<HttpResult> CountingTransport::send(HttpRequest request, CancellationToken cancel)
{
    ++m_sends;
    co_return co_await m_inner->send(std::move(request), std::move(cancel));
}

} // namespace OrvelanNimbal::Testing
