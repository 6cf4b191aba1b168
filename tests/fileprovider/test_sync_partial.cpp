// SPDX-License-Identifier: GPL-3.0-or-later
// Passes that look only where the watcher saw changes: they must still see what a whole pass
// would (a move whose first try was refused, a folder moved out, a folder renamed on the
// service, a folder made and renamed at once), read nothing through a link, and look at no more
// than they were told to.
#include "EngineHarness.h"
#include "disk/FolderWatcher.h"
#include "disk/LocalScan.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::FileProvider;
using namespace OrvelanNimbal::Testing;

namespace {

// Folders A and B on the drive and on disk, and a file in A.
struct TwoFolders {
    qint64 source = 0;
    qint64 target = 0;
    qint64 file = 0;
};

TwoFolders settledWithFileInA(EngineHarness &harness, const QString &name,
                              const QByteArray &content)
{
    TwoFolders made;
    made.source = harness.drive.addFolder(u"A"_qs);
    made.target = harness.drive.addFolder(u"B"_qs);
    made.file = harness.drive.addFile(name, content, made.source);
    harness.settle();
    return made;
}

quint64 inodeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

} // namespace

class TestSyncPartial : public QObject {
    Q_OBJECT

private slots:
    void passLooksOnlyWhereChangesWere();
    void moveRefusedOnceIsNotTakenForDeletion();
    void moveHalfSeenIsNoDeletion();
    void folderMovedOutIsTrashedWhole();
    void folderRenamedOnServiceCarriesItsFiles();
    void folderMadeThenRenamedAtOnceIsWatched();
    void scanOfPartsFollowsNoLink();
};

void TestSyncPartial::passLooksOnlyWhereChangesWere()
{
    EngineHarness harness;
    harness.drive.addFolder(u"A"_qs);
    harness.drive.addFolder(u"B"_qs);
    harness.settle();

    // A change whose events were lost waits for a whole pass; the one reported goes at once.
    harness.write(u"B/perdu.txt"_qs, "perdu");
    harness.watcher->readNow();
    harness.scope = PassScope::changedIn({});
    harness.write(u"A/vu.txt"_qs, "vu");
    harness.settle();
    QVERIFY(harness.drive.find(u"A/vu.txt"_qs));
    QVERIFY(!harness.drive.find(u"B/perdu.txt"_qs));

    harness.scope = PassScope::everything();
    harness.settle();
    QVERIFY(harness.drive.find(u"B/perdu.txt"_qs));
}

void TestSyncPartial::moveRefusedOnceIsNotTakenForDeletion()
{
    EngineHarness harness;
    const auto [source, target, file] = settledWithFileInA(harness, u"rapport.txt"_qs, "rapport");

    // The move is refused once; later passes look only at the folder it left, where something
    // else changed: the file is not there, which is no deletion.
    harness.drive.failRequests(u"/drive/move"_qs, 400, 1);
    QVERIFY(QFile::rename(harness.file(u"A/rapport.txt"_qs), harness.file(u"B/rapport.txt"_qs)));
    harness.pass();
    QCOMPARE(harness.drive.item(file).parent, source);
    harness.write(u"A/autre.txt"_qs, "autre");
    harness.client.clock->advance(std::chrono::hours(1));
    harness.settle();

    QVERIFY(!harness.drive.item(file).trashed);
    QCOMPARE(harness.drive.item(file).parent, target);
    QCOMPARE(harness.drive.item(file).content, QByteArray("rapport"));
    QCOMPARE(harness.read(u"B/rapport.txt"_qs), QByteArray("rapport"));
}

void TestSyncPartial::moveHalfSeenIsNoDeletion()
{
    EngineHarness harness;
    const auto [source, target, file] = settledWithFileInA(harness, u"f.txt"_qs, "contenu");

    // Moved just as a pass took its scope: the pass has the folder it left, not the one it
    // went to. It sends no deletion; the next pass has both halves.
    QVERIFY(QFile::rename(harness.file(u"A/f.txt"_qs), harness.file(u"B/f.txt"_qs)));
    harness.watcher->readNow();
    harness.scope = PassScope::changedIn({u"A"_qs});
    harness.pass();
    QVERIFY(!harness.drive.item(file).trashed);
    harness.scope.merge(PassScope::changedIn({u"B"_qs}));
    harness.settle();
    QVERIFY(!harness.drive.item(file).trashed);
    QCOMPARE(harness.drive.item(file).parent, target);

    // A deletion is one all the same, found twice.
    QVERIFY(QFile::remove(harness.file(u"B/f.txt"_qs)));
    harness.settle();
    QVERIFY(harness.drive.item(file).trashed);
}

void TestSyncPartial::folderMovedOutIsTrashedWhole()
{
    EngineHarness harness;
    const qint64 project = harness.drive.addFolder(u"Projet"_qs);
    const qint64 inner = harness.drive.addFolder(u"Sources"_qs, project);
    const qint64 deep = harness.drive.addFile(u"main.c"_qs, "int main;", inner);
    harness.drive.addFile(u"Lisez-moi.txt"_qs, "lisez", project);
    harness.settle();

    // Out of the folder in one rename: only the top is told; everything beneath goes with it.
    const QString outside = harness.directory.filePath(u"ailleurs"_qs);
    QVERIFY(QFile::rename(harness.file(u"Projet"_qs), outside));
    harness.settle();
    QVERIFY(harness.drive.item(project).trashed);
    QVERIFY(harness.drive.item(deep).trashed);
    QVERIFY(harness.journalItems().isEmpty());
    QVERIFY(harness.drive.everHeld("int main;"));
    QCOMPARE(QDir(outside).entryList(QDir::Files), QStringList{u"Lisez-moi.txt"_qs});
}

void TestSyncPartial::folderRenamedOnServiceCarriesItsFiles()
{
    EngineHarness harness;
    const qint64 folder = harness.drive.addFolder(u"Doc"_qs);
    const qint64 sub = harness.drive.addFolder(u"Annexes"_qs, folder);
    const qint64 file = harness.drive.addFile(u"a.txt"_qs, "v1", sub);
    harness.settle();

    harness.drive.rename(folder, u"Documents"_qs);
    harness.settle();
    QCOMPARE(harness.read(u"Documents/Annexes/a.txt"_qs), QByteArray("v1"));
    const ItemTable rows = harness.journalItems();
    QCOMPARE(rows.value(ItemKey::file(file)).base.path, u"Documents/Annexes/a.txt"_qs);

    // Its files are known at their new place: an edit there is a new version, not a new file.
    harness.write(u"Documents/Annexes/a.txt"_qs, "v2");
    harness.settle();
    QCOMPARE(harness.drive.item(file).content, QByteArray("v2"));
    QCOMPARE(harness.drive.tree().size(), 3);
}

void TestSyncPartial::folderMadeThenRenamedAtOnceIsWatched()
{
    QTemporaryDir root;
    FolderWatcher watcher(root.path());
    QVERIFY(watcher.start());
    QSignalSpy changed(&watcher, &FolderWatcher::foldersChanged);

    // Renamed before the watcher read that it was made: watched at its new name all the same.
    QVERIFY(QDir(root.path()).mkdir(u"nouveau"_qs));
    QVERIFY(QDir(root.path()).rename(u"nouveau"_qs, u"renommé"_qs));
    watcher.readNow();
    QVERIFY(!changed.isEmpty());
    changed.clear();
    QFile file(root.filePath(u"renommé/f.txt"_qs));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    watcher.readNow();
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().first().value<QSet<QString>>(), QSet<QString>{u"renommé"_qs});
}

void TestSyncPartial::scanOfPartsFollowsNoLink()
{
    QTemporaryDir root;
    QTemporaryDir elsewhere;
    QDir top(root.path());
    QVERIFY(top.mkpath(u"connu/dedans"_qs));
    QVERIFY(top.mkpath(u"nouveau/sous"_qs));
    for (const QString &name : {u"connu/k.txt"_qs, u"nouveau/sous/n.txt"_qs,
                                elsewhere.filePath(u"x.txt"_qs)}) {
        QFile file(name.startsWith(u'/') ? name : top.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(QFile::link(elsewhere.path(), top.filePath(u"lien"_qs)));

    // The top listed: a folder known at its place is not gone into, a new one is, whole.
    ScanParts parts;
    parts.listed = {QString()};
    parts.known.insert(u"connu"_qs, inodeOf(top.filePath(u"connu"_qs)));
    parts.entries = {u"lien/x.txt"_qs, u"connu/dedans"_qs};
    const LocalScan scan = LocalScan::of(root.path(), parts);
    QVERIFY(scan.entries.contains(u"connu"_qs));
    QVERIFY(!scan.entries.contains(u"connu/k.txt"_qs));
    QVERIFY(scan.entries.contains(u"connu/dedans"_qs)); // looked at on its own
    QVERIFY(scan.entries.contains(u"nouveau/sous/n.txt"_qs));
    // Nothing through the link: what lies beneath it is unseen, never gone.
    QVERIFY(scan.others.contains(u"lien"_qs));
    QVERIFY(!scan.entries.contains(u"lien/x.txt"_qs));
    QVERIFY(scan.isUnseen(u"lien/x.txt"_qs));

    // Looked at alone, a path through the link is not followed either.
    ScanParts single;
    single.entries = {u"lien/x.txt"_qs};
    const LocalScan alone = LocalScan::of(root.path(), single);
    QVERIFY(alone.entries.isEmpty());
    QVERIFY(alone.isUnseen(u"lien/x.txt"_qs));
}

QTEST_GUILESS_MAIN(TestSyncPartial)
#include "test_sync_partial.moc"
