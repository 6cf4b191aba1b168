// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "auth/KeychainStores.h"
#include "client/ApiClient.h"

#include <QStringList>

#include <chrono>
#include <memory>

namespace OrvelanNimbal::Testing {

class LocalService;

// The desktop's Secret Service under service names of this test run's own, so that tests
// never meet each other's items nor a user's. What a test left there is removed at the end.
class KeychainScope {
public:
    // Why no Secret Service can be reached (no D-Bus session), or empty.
    static QString unavailableReason();

    KeychainScope();
    ~KeychainScope();
    KeychainScope(const KeychainScope &) = delete;
    KeychainScope &operator=(const KeychainScope &) = delete;

    std::shared_ptr<KeychainSessionStore> sessionStore() const { return m_sessionStore; }
    std::shared_ptr<KeychainTrustedDeviceStore> trustedDevices() const { return m_trustedDevices; }

    // Removes this account's trusted-device item at the end.
    void forgetLater(const QString &account) { m_accounts.append(account); }

private:
    std::shared_ptr<KeychainSessionStore> m_sessionStore;
    std::shared_ptr<KeychainTrustedDeviceStore> m_trustedDevices;
    QStringList m_accounts;
};

// The client as the application builds it (real transport, keychain stores), pointed at the
// local service, with back-off waits of a few milliseconds instead of 400 ms. A test that
// records waits, or must not sleep through them, passes a ManualClock.
std::shared_ptr<ApiClient>
makeServiceClient(const LocalService &service, KeychainScope &keychain, int maxAttempts = 3,
                  std::chrono::milliseconds retryBaseDelay = std::chrono::milliseconds(5),
                  std::shared_ptr<Clock> clock = systemClock(),
                  std::shared_ptr<HTTPTransport> transport = {});

// The real transport, counting the requests handed to it: the attempts the client made, as
// opposed to what reached the service (the network layer may resend a request whose
// connection broke before it was answered).
class CountingTransport final : public HTTPTransport {
public:
    CountingTransport();
    QCoro::Task<HttpResult> send(HttpRequest request, CancellationToken cancel) override;
    int sends() const { return m_sends; }

private:
    std::shared_ptr<HTTPTransport> m_inner;
    int m_sends = 0;
};

} // namespace OrvelanNimbal::Testing
