// SPDX-License-Identifier: GPL-3.0-or-later
// The keychain stores against the real Secret Service of the session (gnome-keyring under
// ./run test), and their refusal to work without one.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"

#include "auth/KeychainError.h"
#include "auth/KeychainStores.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QUuid>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

// Items of one test run never meet those of another, nor a real user's.
QString uniqueService(const char *role)
{
    return QStringLiteral("net.orvelan.nimbal.test.%1.%2")
        .arg(QString::fromLatin1(role), QUuid::createUuid().toString(QUuid::WithoutBraces));
}

const QString accessGroup = QStringLiteral("K7QW2ZP4TM.group.net.orvelan.nimbal");

bool secretServiceAvailable()
{
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
}

} // namespace

class TestKeychainStores : public QObject {
    Q_OBJECT

private slots:
    void init();
    void sessionItem();
    void corruptSessionIsReportedAndKept();
    void trustedDevices();
    void withoutSecretServiceNothingIsWrittenAnywhere();
};

void TestKeychainStores::init()
{
    if (!secretServiceAvailable() && qEnvironmentVariableIsEmpty("NIMBAL_EXPECT_NO_KEYRING"))
        QSKIP("no session bus: run through ./run test, which starts a private keyring");
}

void TestKeychainStores::sessionItem()
{
    KeychainSessionStore store(uniqueService("session"), accessGroup);
    QCOMPARE(runAsync(store.load()), std::nullopt);
    runAsync(store.clear()); // clearing nothing succeeds

    const DriveSession first{QStringLiteral("a@b"), QStringLiteral("t1"), QStringLiteral("p1")};
    const DriveSession second{QStringLiteral("c@d"), QStringLiteral("t2"), QStringLiteral("p2")};
    runAsync(store.save(first));
    runAsync(store.save(second)); // one item, overwritten
    QCOMPARE(runAsync(store.load()), std::optional(second));
    runAsync(store.clear());
    QCOMPARE(runAsync(store.load()), std::nullopt);
}

void TestKeychainStores::corruptSessionIsReportedAndKept()
{
    // The trusted-device store writes raw bytes under any key: under "current" of the session's
    // service, it plays the part of a damaged item.
    const QString service = uniqueService("session");
    KeychainTrustedDeviceStore raw(service, accessGroup);
    KeychainSessionStore store(service, accessGroup);

    runAsync(raw.save(QStringLiteral(R"({"account":"a","accessToken":"t"})"),
                      QStringLiteral("current")));
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(store.load()),
                              DriveError::decoding(QStringLiteral("$ : clé « password » absente")));
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(store.load()), // still there
                              DriveError::decoding(QStringLiteral("$ : clé « password » absente")));
    runAsync(store.clear());
}

void TestKeychainStores::trustedDevices()
{
    KeychainTrustedDeviceStore store(uniqueService("trusted-device"), accessGroup);
    QCOMPARE(runAsync(store.token(QStringLiteral("alice@orvelan.net"))), std::nullopt);
    runAsync(store.save(QStringLiteral("tok-A"), QStringLiteral("Alice@Orvelan.net")));
    runAsync(store.save(QStringLiteral("tok-B"), QStringLiteral("bob@orvelan.net")));
    QCOMPARE(runAsync(store.token(QStringLiteral("ALICE@orvelan.net"))),
             std::optional(QStringLiteral("tok-A")));
    runAsync(store.save(QStringLiteral("tok-A2"), QStringLiteral("alice@orvelan.net")));
    QCOMPARE(runAsync(store.token(QStringLiteral("Alice@Orvelan.net"))),
             std::optional(QStringLiteral("tok-A2")));
    runAsync(store.remove(QStringLiteral("ALICE@ORVELAN.NET")));
    QCOMPARE(runAsync(store.token(QStringLiteral("alice@orvelan.net"))), std::nullopt);
    QCOMPARE(runAsync(store.token(QStringLiteral("bob@orvelan.net"))),
             std::optional(QStringLiteral("tok-B")));
    runAsync(store.remove(QStringLiteral("bob@orvelan.net")));
    runAsync(store.remove(QStringLiteral("nobody@orvelan.net"))); // silent
}

void TestKeychainStores::withoutSecretServiceNothingIsWrittenAnywhere()
{
    if (qEnvironmentVariableIsSet("NIMBAL_EXPECT_NO_KEYRING")) {
        // The child: no bus at all. Every session operation fails, nothing falls back to a file.
        KeychainSessionStore store(uniqueService("session"), accessGroup);
        const DriveSession session{QStringLiteral("a"), QStringLiteral("t"), QStringLiteral("p")};
        QVERIFY_THROWS_EXCEPTION(KeychainError, runAsync(store.save(session)));
        QVERIFY_THROWS_EXCEPTION(KeychainError, runAsync(store.load()));
        KeychainTrustedDeviceStore devices(uniqueService("trusted-device"), accessGroup);
        runAsync(devices.save(QStringLiteral("t"), QStringLiteral("a"))); // silently lost
        QCOMPARE(runAsync(devices.token(QStringLiteral("a"))), std::nullopt);
        return;
    }

    const QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NIMBAL_EXPECT_NO_KEYRING"), QStringLiteral("1"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + home.filePath(QStringLiteral("no-bus")));
    for (const char *variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QString::fromLatin1(variable), home.path());
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("withoutSecretServiceNothingIsWrittenAnywhere")});
    QVERIFY(child.waitForFinished(30000));
    QVERIFY2(child.exitCode() == 0, child.readAllStandardOutput().constData());

    QStringList written;
    QDirIterator files(home.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext())
        written.append(files.next());
    QCOMPARE(written, QStringList());
}

QTEST_GUILESS_MAIN(TestKeychainStores)
#include "test_keychain_stores.moc"
