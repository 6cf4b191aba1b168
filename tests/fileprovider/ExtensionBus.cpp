// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExtensionBus.h"

#include "config/OrvelanNimbal.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QThread>

#include <signal.h>
#include <sys/prctl.h>

namespace OrvelanNimbal::Testing {

namespace {

constexpr int startTimeoutMilliseconds = 10000;

// No <type>session</type>: a session bus would hand the services it starts its own address as
// DBUS_SESSION_BUS_ADDRESS, and the extension would look for the keychain here rather than on
// the session bus of `./run test`, where it is.
QString busConfig(const QString &serviceDirectory)
{
    return QStringLiteral(
               R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:tmpdir=%1</listen>
  <servicedir>%2</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
        .arg(QDir::tempPath(), serviceDirectory);
}

} // namespace

ExtensionBus::ExtensionBus(const QUrl &apiBaseURL, const QString &keychainSuffix)
    : m_apiBaseURL(apiBaseURL)
    , m_keychainSuffix(keychainSuffix)
{
    QDir().mkpath(home());
    QDir().mkpath(dataHome());
    const QString config = m_root.filePath(u"bus.conf"_qs);
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(busConfig(QStringLiteral(NIMBAL_FILEPROVIDER_SERVICE_DIR)).toUtf8()) < 0) {
        m_error = file.errorString();
        return;
    }
    file.close();
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({u"--config-file="_qs + config, u"--nofork"_qs, u"--print-address=1"_qs});
    // What the bus passes on to the services it starts.
    m_daemon.setProcessEnvironment(environment());
    // The extension's log ends up in the test's output, shown when a test fails.
    m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_daemon.start();
    if (!m_daemon.waitForReadyRead(startTimeoutMilliseconds)) {
        m_error = u"dbus-daemon did not start: "_qs + m_daemon.errorString();
        return;
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    m_bus = QDBusConnection::connectToBus(m_address, u"extension-test-bus"_qs);
    if (!m_bus.isConnected())
        m_error = m_bus.lastError().message();
}

ExtensionBus::~ExtensionBus()
{
    killDaemon();
    QDBusConnection::disconnectFromBus(u"extension-test-bus"_qs);
    m_daemon.kill();
    m_daemon.waitForFinished();
}

QProcessEnvironment ExtensionBus::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_qs, home());
    environment.insert(u"XDG_DATA_HOME"_qs, dataHome());
    environment.insert(u"NIMBAL_FILEPROVIDER_API_BASE_URL"_qs, m_apiBaseURL.toString());
    environment.insert(u"NIMBAL_FILEPROVIDER_KEYCHAIN_SUFFIX"_qs, m_keychainSuffix);
    return environment;
}

qint64 ExtensionBus::daemonPid()
{
    const QDBusReply<uint> pid = m_bus.interface()->servicePid(fileProviderBundleIdentifier);
    return pid.isValid() ? pid.value() : 0;
}

void ExtensionBus::killDaemon()
{
    const qint64 pid = daemonPid();
    if (pid <= 0)
        return;
    ::kill(pid_t(pid), SIGKILL);
    // Gone from the bus once the process is.
    for (int i = 0; i < 500 && m_bus.interface()->isServiceRegistered(fileProviderBundleIdentifier);
         ++i)
        QThread::msleep(10);
}

QString ExtensionBus::runCommand(const QStringList &arguments, int *status)
{
    QProcess command;
    QProcessEnvironment environment = this->environment();
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_qs, m_address);
    command.setProcessEnvironment(environment);
    command.start(QStringLiteral(NIMBAL_FILEPROVIDER_PROGRAM), arguments);
    command.waitForFinished(30000);
    if (status)
        *status = command.exitCode();
    return QString::fromUtf8(command.readAllStandardOutput());
}

} // namespace OrvelanNimbal::Testing
