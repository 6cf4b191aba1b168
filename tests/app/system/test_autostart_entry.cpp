// SPDX-License-Identifier: GPL-3.0-or-later
// Launch at login through the autostart entry: the Exec line for awkward paths, an entry the
// desktop's own validator accepts, what the entry's state reads as, and registration failures.
#include "system/XdgAutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal;
using namespace Qt::StringLiterals;

using Status = LoginItem::Status;

class TestAutostartEntry : public QObject {
    Q_OBJECT

private slots:
    void execArgument_data();
    void execArgument();
    void validEntry_data();
    void validEntry();
    void status_data();
    void status();
    void registrationFailures();
    void copiesTheInstalledEntry_data();
    void copiesTheInstalledEntry();
};

void TestAutostartEntry::execArgument_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec"); // as written in the file

    QTest::newRow("non-ASCII needs no quotes")
        << u"/opt/Prêt/orvelan-nimbal"_s << u"/opt/Prêt/orvelan-nimbal"_s;
    QTest::newRow("field code, unquoted") << u"/opt/100%/nimbal"_s << u"/opt/100%%/nimbal"_s;
    QTest::newRow("space, dollar and quote")
        << u"/opt/$x \"y\"/nimbal"_s << u"\"/opt/\\\\$x \\\\\"y\\\\\"/nimbal\""_s;
    QTest::newRow("backslash: four in the file")
        << u"/opt/a\\b/nimbal"_s << u"\"/opt/a\\\\\\\\b/nimbal\""_s;
}

void TestAutostartEntry::execArgument()
{
    QFETCH(QString, program);
    QFETCH(QString, exec);
    QCOMPARE(XdgAutostartEntry::execArgument(program), exec);
}

void TestAutostartEntry::validEntry_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("plain") << u"/usr/bin/orvelan-nimbal"_s;
    QTest::newRow("every reserved character and a field code")
        << u"/home/ana/Mes Apps/$HOME \"x\" 'y' `z` \\ > < ~ | & ; * ? # ( ) 100%/nimbal"_s;
}

void TestAutostartEntry::validEntry()
{
    QFETCH(QString, program);
    const QString validator = QStandardPaths::findExecutable(u"desktop-file-validate"_s);
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is missing (package desktop-file-utils)");

    QTemporaryDir config;
    XdgAutostartEntry entry(QDir(config.path()).filePath(u"autostart"_s), program);
    QCOMPARE(entry.status(), Status::notRegistered);
    QCOMPARE(entry.registerItem(), std::nullopt);
    QCOMPARE(entry.status(), Status::enabled);

    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {entry.filePath()});
    QVERIFY(validate.waitForFinished());
    const QByteArray said = validate.readAll();
    QVERIFY2(validate.exitCode() == 0 && said.isEmpty(), said.constData());

    // Registering twice is harmless; unregistering twice too.
    QCOMPARE(entry.registerItem(), std::nullopt);
    QCOMPARE(entry.unregisterItem(), std::nullopt);
    QCOMPARE(entry.status(), Status::notRegistered);
    QCOMPARE(entry.unregisterItem(), std::nullopt);
}

void TestAutostartEntry::status_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<Status>("expected");

    const QByteArray ours = "[Desktop Entry]\nType=Application\nName=Orvelan Nimbal\n"
                            "Exec=/usr/bin/orvelan-nimbal\n";
    QTest::newRow("ours") << ours << Status::enabled;
    QTest::newRow("spaces around the equals sign")
        << QByteArray("[Desktop Entry]\nExec = /usr/bin/orvelan-nimbal\n") << Status::enabled;
    QTest::newRow("hidden by the desktop's settings") << ours + "Hidden=true\n"
                                                      << Status::notRegistered;
    QTest::newRow("switched off by the session's settings")
        << ours + "X-GNOME-Autostart-enabled=false\n"
        << Status::notRegistered;
    QTest::newRow("starts another program")
        << QByteArray("[Desktop Entry]\nExec=/opt/old/orvelan-nimbal\n") << Status::notFound;
    QTest::newRow("keys of another group do not count")
        << QByteArray("[Desktop Action x]\nExec=/usr/bin/orvelan-nimbal\n[Desktop Entry]\n"
                      "Exec=/usr/bin/orvelan-nimbal\n[Other]\nHidden=true\n")
        << Status::enabled;
    QTest::newRow("empty file") << QByteArray() << Status::notFound;
}

void TestAutostartEntry::status()
{
    QFETCH(QByteArray, text);
    QFETCH(Status, expected);

    QTemporaryDir folder;
    const XdgAutostartEntry entry(folder.path(), u"/usr/bin/orvelan-nimbal"_s);
    QFile file(entry.filePath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    QCOMPARE(entry.status(), expected);
}

void TestAutostartEntry::registrationFailures()
{
    QTemporaryDir home;
    // A file where the folder should be: even root cannot create the folder.
    const QString blocked = QDir(home.path()).filePath(u"autostart"_s);
    QFile blocker(blocked);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    XdgAutostartEntry entry(QDir(blocked).filePath(u"inner"_s), u"/usr/bin/orvelan-nimbal"_s);
    QVERIFY(entry.registerItem().has_value());
    QCOMPARE(entry.status(), Status::notRegistered);

    // A path an Exec line cannot carry.
    XdgAutostartEntry broken(home.path(), u"/opt/line\nbreak/nimbal"_s);
    QCOMPARE(broken.registerItem(),
             u"chemin du programme inutilisable : /opt/line\nbreak/nimbal"_s);
    QVERIFY(!QFile::exists(broken.filePath()));
}

void TestAutostartEntry::copiesTheInstalledEntry_data()
{
    QTest::addColumn<QByteArray>("installed"); // empty: no entry installed
    QTest::addColumn<bool>("copied");

    const QByteArray entry = "[Desktop Entry]\nType=Application\nName=Orvelan Nimbal\n"
                             "Comment[fr]=Votre Nimbal, directement dans vos fichiers\n"
                             "Icon=net.orvelan.nimbal\nExec=PROGRAM\n";
    QTest::newRow("installed with the program: copied as it is") << entry << true;
    QTest::newRow("another installation's entry: written afresh")
        << QByteArray(entry).replace("PROGRAM", "/opt/other/bin/orvelan-nimbal") << false;
    QTest::newRow("no entry installed (the build tree)") << QByteArray() << false;
}

void TestAutostartEntry::copiesTheInstalledEntry()
{
    QFETCH(QByteArray, installed);
    QFETCH(bool, copied);

    // An installation: PREFIX/bin/orvelan-nimbal and PREFIX/share/applications/<entry>.
    QTemporaryDir prefix;
    const QString program = QDir(prefix.path()).filePath(u"bin/orvelan-nimbal"_s);
    const QString installedEntry = XdgAutostartEntry::installedEntryOf(program);
    QCOMPARE(installedEntry,
             QDir(prefix.path()).filePath(u"share/applications/net.orvelan.nimbal.desktop"_s));
    installed.replace("PROGRAM", program.toUtf8());
    if (!installed.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(installedEntry).path()));
        QFile file(installedEntry);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(installed);
    }

    QTemporaryDir config;
    XdgAutostartEntry entry(config.path(), program, installedEntry);
    QCOMPARE(entry.registerItem(), std::nullopt);
    QFile written(entry.filePath());
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    QCOMPARE(text, copied ? installed : *XdgAutostartEntry::entryText(program));
    // Either way the entry starts this program and reads as ours.
    QCOMPARE(entry.status(), Status::enabled);
}

QTEST_GUILESS_MAIN(TestAutostartEntry)
#include "test_autostart_entry.moc"
