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
#include <QTest>
#include <QUuid>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;

namespace {

// Items of one test run never meet those of another, nor a real user's.
QString uniqueService(const char *role)
{
    return u"net.orvelan.nimbal.test.%1.%2"_s.arg(
        QString::fromLatin1(role), QUuid::createUuid().toString(QUuid::WithoutBraces));
}

const QString accessGroup = u"K7QW2ZP4TM.group.net.orvelan.nimbal"_s;

} // namespace

class TestKeychainStores : public QObject {
    Q_OBJECT

private slots:
    void init();
    void sessionItem();
    void trustedDevices();
    void withoutSecretServiceNothingIsWrittenAnywhere();
};

void TestKeychainStores::init()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
        && qEnvironmentVariableIsEmpty("NIMBAL_EXPECT_NO_KEYRING"))
        QSKIP("no session bus: run through ./run test, which starts a private keyring");
}

void TestKeychainStores::sessionItem()
{
    const QString service = uniqueService("session");
    KeychainSessionStore store(service, accessGroup);
    QCOMPARE(runAsync(store.load()), std::nullopt);
    runAsync(store.clear()); // clearing nothing succeeds
    runAsync(store.save({u"a@b"_s, u"t1"_s, u"p1"_s}));
    const DriveSession second{u"c@d"_s, u"t2"_s, u"p2"_s};
    runAsync(store.save(second)); // one item, overwritten
    QCOMPARE(runAsync(store.load()), std::optional(second));

    // The trusted-device store writes raw bytes under any key: under "current" of the session's
    // service, it plays the part of a damaged item, reported and left in place.
    runAsync(KeychainTrustedDeviceStore(service, accessGroup)
                 .save(uR"({"account":"a","accessToken":"t"})"_s, u"current"_s));
    for (int read = 0; read < 2; ++read)
        NIMBAL_EXPECT_DRIVE_ERROR(runAsync(store.load()),
                                  DriveError::decoding(u"$ : clé « password » absente"_s));
    runAsync(store.clear());
    QCOMPARE(runAsync(store.load()), std::nullopt);
}

void TestKeychainStores::trustedDevices()
{
    KeychainTrustedDeviceStore store(uniqueService("trusted-device"), accessGroup);
    const auto token = [&](const QString &account) { return runAsync(store.token(account)); };
    QCOMPARE(token(u"alice@orvelan.net"_s), std::nullopt);
    runAsync(store.save(u"tok-A"_s, u"Alice@Orvelan.net"_s));
    runAsync(store.save(u"tok-B"_s, u"bob@orvelan.net"_s));
    runAsync(store.save(u"tok-A2"_s, u"alice@orvelan.net"_s)); // the same item, replaced
    QCOMPARE(token(u"ALICE@orvelan.net"_s), std::optional(u"tok-A2"_s));
    runAsync(store.remove(u"ALICE@ORVELAN.NET"_s));
    QCOMPARE(token(u"alice@orvelan.net"_s), std::nullopt);
    QCOMPARE(token(u"bob@orvelan.net"_s), std::optional(u"tok-B"_s));
    // Every character comes back, a leading U+FEFF included.
    runAsync(store.save(u"\uFEFFtok-B2"_s, u"bob@orvelan.net"_s));
    QCOMPARE(token(u"bob@orvelan.net"_s), std::optional(u"\uFEFFtok-B2"_s));
    runAsync(store.remove(u"bob@orvelan.net"_s));
    runAsync(store.remove(u"nobody@orvelan.net"_s)); // silent
}

void TestKeychainStores::withoutSecretServiceNothingIsWrittenAnywhere()
{
    if (qEnvironmentVariableIsSet("NIMBAL_EXPECT_NO_KEYRING")) {
        // The child: no bus at all. Every session operation fails, nothing falls back to a file.
        KeychainSessionStore store(uniqueService("session"), accessGroup);
        QVERIFY_THROWS_EXCEPTION(KeychainError, runAsync(store.save({u"a"_s, u"t"_s, u"p"_s})));
        QVERIFY_THROWS_EXCEPTION(KeychainError, runAsync(store.load()));
        KeychainTrustedDeviceStore devices(uniqueService("trusted-device"), accessGroup);
        runAsync(devices.save(u"t"_s, u"a"_s)); // silently lost
        QCOMPARE(runAsync(devices.token(u"a"_s)), std::nullopt);
        return;
    }

    const QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"NIMBAL_EXPECT_NO_KEYRING"_s, u"1"_s);
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path="_s + home.filePath(u"no-bus"_s));
    for (const char *variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        environment.insert(QString::fromLatin1(variable), home.path());
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {u"withoutSecretServiceNothingIsWrittenAnywhere"_s});
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
