// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QUrl>

namespace OrvelanNimbal::Testing {

// A session bus of the test's own, whose service directory is the build's: the first call to
// the extension starts `nimbal-fileprovider` through D-Bus activation, as a desktop session does.
// The daemon it starts lives in a home of its own (folders under ~/Nimbal, the shared container
// under $XDG_DATA_HOME), talks to the test's local service, and finds the session in the real
// keychain of `./run test`'s session bus under service names of the test's own.
class ExtensionBus {
public:
    ExtensionBus(const QUrl &apiBaseURL, const QString &keychainSuffix);
    ~ExtensionBus();

    bool isRunning() const { return m_bus.isConnected(); }
    QString errorString() const { return m_error; }
    QDBusConnection &bus() { return m_bus; }
    QString home() const { return m_root.filePath(u"home"_qs); }
    QString dataHome() const { return m_root.filePath(u"data"_qs); }
    QString container() const { return dataHome() + u"/net.orvelan.nimbal"_qs; }
    QString domainFolder(const QString &account) const { return home() + u"/Nimbal/"_qs + account; }

    // The daemon's process id; 0 when it is not running.
    qint64 daemonPid();
    // SIGKILL, as a crash would; the next call to the extension starts it again.
    void killDaemon();
    // Runs `nimbal-fileprovider ARGUMENTS` against this bus and home; gives standard output and
    // sets `status` to the exit status.
    QString runCommand(const QStringList &arguments, int *status = nullptr);
    // The bus's address, and what the bus gives the programs it starts (home, data folder,
    // service address, keychain items).
    QString address() const { return m_address; }
    QProcessEnvironment environment() const;

private:
    QTemporaryDir m_root;
    QProcess m_daemon;
    QString m_address;
    QDBusConnection m_bus{QString()};
    QString m_error;
    QUrl m_apiBaseURL;
    QString m_keychainSuffix;
};

} // namespace OrvelanNimbal::Testing
