// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LocalService.h"
#include "api/DriveAPI.h"
#include "auth/KeychainStores.h"
#include "client/ApiClient.h"

#include <QObject>
#include <QStringList>

#include <memory>

namespace OrvelanNimbal::Testing {

// The desktop's Secret Service under service names of this test run's own, so that tests
// never meet each other's items nor a user's. What a test left there is removed at the end.
class KeychainScope {
public:
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

// A new account of the service, signed in through the real client and keychain.
struct DriveAccount {
    QString email;
    std::shared_ptr<ApiClient> client;
    DriveAPI drive;
};

// What every test case against the service derives from: the real service, started once per
// test case and reset after each test, and the real Secret Service. Without either (outside
// ctest or ./run test) the test case is skipped.
class ServiceTest : public QObject {
    Q_OBJECT

protected:
    static const QString password;   // of every account made here
    static const QString totpSecret; // of those with an authenticator

    LocalService &service() { return *m_service; }
    KeychainScope &keychain() { return *m_keychain; }

    // The client as the application builds it (real transport, keychain stores), with back-off
    // waits of a few milliseconds instead of 400. A test that records the waits passes a
    // ManualClock.
    std::shared_ptr<ApiClient> newClient(std::shared_ptr<Clock> clock = systemClock(),
                                         std::shared_ptr<HTTPTransport> transport = {});
    // A new account; its address.
    QString addAccount(const QString &tag, bool withAuthenticator = false,
                       QStringList recoveryCodes = {}, bool passkeyOnly = false,
                       qint64 quotaMegabytes = 10240);
    // Signs `client` in, through the authenticator's current code when one is asked for.
    void signIn(ApiClient &client, const QString &email, bool rememberDevice = false);
    // A new account without a second factor, signed in on a new client.
    DriveAccount signedInAccount(const QString &tag, qint64 quotaMegabytes = 10240);

private slots:
    void initTestCase();
    void cleanup();

private:
    std::unique_ptr<LocalService> m_service;
    std::unique_ptr<KeychainScope> m_keychain;
};

} // namespace OrvelanNimbal::Testing
