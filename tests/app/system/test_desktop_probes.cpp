// SPDX-License-Identifier: GPL-3.0-or-later
// What the application reads of the desktop: the computer's name, the preferences file, and
// logind's wake-ups (a private bus stands in for the system bus, a fake logind on it).
#include "config/ComputerName.h"
#include "system/Preferences.h"
#include "system/WakeNotifier.h"

#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal;
using namespace Qt::StringLiterals;

namespace {

std::shared_ptr<Preferences> preferencesIn(const QTemporaryDir &folder)
{
    return std::make_shared<Preferences>(std::make_unique<QSettings>(
        QDir(folder.path()).filePath(u"nimbal.conf"_s), QSettings::IniFormat));
}

QDBusMessage prepareForSleep(bool goingToSleep)
{
    QDBusMessage message = QDBusMessage::createSignal(
        u"/org/freedesktop/login1"_s, u"org.freedesktop.login1.Manager"_s, u"PrepareForSleep"_s);
    message << goingToSleep;
    return message;
}

} // namespace

class TestDesktopProbes : public QObject {
    Q_OBJECT

private slots:
    void prettyHostName_data();
    void prettyHostName();
    void computerNameFallsBackToTheHostName();
    void preferences();
    void noSystemBusNoHook();
    void wakeFromLogind();
};

void TestDesktopProbes::prettyHostName_data()
{
    QTest::addColumn<QByteArray>("machineInfo");
    QTest::addColumn<QString>("expected"); // "" for none

    QTest::newRow("double quotes")
        << QByteArray("PRETTY_HOSTNAME=\"Ordinateur d'Anaïs\"\n") << u"Ordinateur d'Anaïs"_s;
    QTest::newRow("single quotes keep backslashes")
        << QByteArray("PRETTY_HOSTNAME='Poste \"bleu\" \\o/'") << u"Poste \"bleu\" \\o/"_s;
    QTest::newRow("escaped quote")
        << QByteArray("PRETTY_HOSTNAME=\"Le \\\"grand\\\" poste\"") << u"Le \"grand\" poste"_s;
    QTest::newRow("unquoted with an escaped space")
        << QByteArray("PRETTY_HOSTNAME=Poste\\ bleu") << u"Poste bleu"_s;
    QTest::newRow("among other keys and comments")
        << QByteArray("# set by the settings\nCHASSIS=laptop\n  PRETTY_HOSTNAME=Atelier # ici\n"
                      "DEPLOYMENT=production\n")
        << u"Atelier"_s;
    QTest::newRow("empty value") << QByteArray("PRETTY_HOSTNAME=\"\"\n") << QString();
    QTest::newRow("absent") << QByteArray("CHASSIS=desktop\nICON_NAME=computer\n") << QString();
    QTest::newRow("a key that only ends the same")
        << QByteArray("X_PRETTY_HOSTNAME=Autre\n") << QString();
}

void TestDesktopProbes::prettyHostName()
{
    QFETCH(QByteArray, machineInfo);
    QFETCH(QString, expected);
    QCOMPARE(OrvelanNimbal::prettyHostName(machineInfo).value_or(QString()), expected);
}

void TestDesktopProbes::computerNameFallsBackToTheHostName()
{
    QTemporaryDir folder;
    const QString file = QDir(folder.path()).filePath(u"machine-info"_s);
    QCOMPARE(computerName(file), QSysInfo::machineHostName()); // no file
    QFile info(file);
    QVERIFY(info.open(QIODevice::WriteOnly));
    info.write("PRETTY_HOSTNAME=\"Poste d'Ana\"\n");
    info.close();
    QCOMPARE(computerName(file), u"Poste d'Ana"_s);
}

void TestDesktopProbes::preferences()
{
    QTemporaryDir folder;
    {
        const auto fresh = preferencesIn(folder);
        QCOMPARE(fresh->lastEmail(), QString());
        QCOMPARE(fresh->launchAtLoginChosen(), false);
        QCOMPARE(fresh->conflictDismissedUntil(), 0.0);
        fresh->setLastEmail(u"ana@orvelan.net"_s);
        fresh->setLaunchAtLoginChosen(true);
        fresh->setConflictDismissedUntil(1709647620.25);
    }
    // Written to the file, read back by the next launch.
    const auto next = preferencesIn(folder);
    QCOMPARE(next->lastEmail(), u"ana@orvelan.net"_s);
    QCOMPARE(next->launchAtLoginChosen(), true);
    QCOMPARE(next->conflictDismissedUntil(), 1709647620.25);

    // Values of another type (a file edited by hand) read as missing.
    QSettings(QDir(folder.path()).filePath(u"nimbal.conf"_s), QSettings::IniFormat)
        .setValue(u"lastEmail"_s, QStringList{u"ana@orvelan.net"_s, u"bob@orvelan.net"_s});
    QFile file(QDir(folder.path()).filePath(u"nimbal.conf"_s));
    QVERIFY(file.open(QIODevice::Append));
    file.write("launchAtLoginChosen=oui\nconflictDismissedUntil=demain\n");
    file.close();
    const auto edited = preferencesIn(folder);
    QCOMPARE(edited->lastEmail(), QString());
    QCOMPARE(edited->launchAtLoginChosen(), false);
    QCOMPARE(edited->conflictDismissedUntil(), 0.0);
}

void TestDesktopProbes::noSystemBusNoHook()
{
    // The notifier as the application makes it, on a machine without a system bus.
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    QTemporaryDir folder;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS",
            "unix:path=" + QDir(folder.path()).filePath(u"no-bus"_s).toUtf8());
    const LogindWakeNotifier notifier;
    QVERIFY(!notifier.isListening());
}

void TestDesktopProbes::wakeFromLogind()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        QSKIP("no private bus to stand in for the system bus: run through ./run test");
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    QDBusConnection watched = QDBusConnection::connectToBus(address, u"watched"_s);
    QDBusConnection logind = QDBusConnection::connectToBus(address, u"logind"_s);
    QDBusConnection stranger = QDBusConnection::connectToBus(address, u"stranger"_s);
    QVERIFY(logind.registerService(u"org.freedesktop.login1"_s));

    LogindWakeNotifier notifier(watched);
    QVERIFY(notifier.isListening());
    QSignalSpy woke(&notifier, &WakeNotifier::woke);

    QVERIFY(logind.send(prepareForSleep(true)));
    QVERIFY(stranger.send(prepareForSleep(false))); // not logind: ignored
    QVERIFY(logind.send(prepareForSleep(false)));
    QVERIFY(woke.wait(5000));
    QTest::qWait(20);
    QCOMPARE(woke.size(), 1);

    for (const QString &name : {u"watched"_s, u"logind"_s, u"stranger"_s})
        QDBusConnection::disconnectFromBus(name);
}

QTEST_GUILESS_MAIN(TestDesktopProbes)
#include "test_desktop_probes.moc"
