// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bus/FileProviderBus.h"

#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QVariantMap>

#include <chrono>
#include <memory>
#include <optional>

class ExtensionProxy;

namespace OrvelanNimbal::CommandLine {

// The extension (`nimbal-fileprovider`) on the session bus, which starts it on the first call.
// Each operation is one call of its interface; a refusal or an unreachable bus is thrown as a
// CommandFailure with the extension's own French message.
class ExtensionClient {
public:
    // On the session bus (or the one the build's test overrides name).
    ExtensionClient();
    ~ExtensionClient();

    QCoro::Task<bool> extensionEnabled();
    QCoro::Task<FileProviderDomainList> domains();
    QCoro::Task<std::optional<FileProviderDomain>> domain(QString identifier);
    // What the application does at sign-in: one domain, the account's; any other goes first.
    QCoro::Task<> mount(QString account);
    QCoro::Task<> removeDomain(QString identifier);
    QCoro::Task<> signalWorkingSet(QString identifier);
    // Completes once nothing is left to do; a wait longer than `timeout` fails as retryable.
    QCoro::Task<> waitForStabilization(QString identifier, std::chrono::milliseconds timeout);
    QCoro::Task<QString> userVisibleFolder(QString identifier);
    QCoro::Task<> pause(QString identifier, qint64 until);
    QCoro::Task<> resume(QString identifier);
    QCoro::Task<QVariantMap> activity(QString identifier);
    QCoro::Task<std::pair<QString, QString>> itemStatus(QString identifier, QString path);
    QCoro::Task<QList<QVariantMap>> conflicts(QString identifier);

private:
    void requireBus() const;
    static QDBusConnection extensionBus();

    QDBusConnection m_bus;
    std::unique_ptr<ExtensionProxy> m_proxy;
};

} // namespace OrvelanNimbal::CommandLine
