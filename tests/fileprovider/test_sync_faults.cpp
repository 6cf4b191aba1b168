// SPDX-License-Identifier: GPL-3.0-or-later
// Ways a sync engine loses, hides or wrongly trashes a user's data, each as the situation that
// showed it: names that differ only by case or by how an accent is written, a byte-order mark,
// a kill in the middle of a chain of renames, a download's temporary left behind, the same bytes
// saved again elsewhere, a link where a folder was, a file nobody may read, an upload refused, a
// conflict copy whose name would be too long, a change feed the service forgot, a walk of the
// tree that misses an item, a folder made inside a renamed one, and a folder emptied at once.
#include "EngineHarness.h"
#include "FileAccess.h"
#include "disk/FolderWatcher.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <dirent.h>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::FileProvider;
using namespace OrvelanNimbal::Testing;

namespace {

// The names of a folder as the disk holds them, bytes and all.
QList<QByteArray> rawNames(const QString &folder)
{
    QList<QByteArray> names;
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    while (const dirent *entry = dir ? ::readdir(dir) : nullptr) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != ".." && !name.startsWith(".nimbal-"))
            names.append(name);
    }
    if (dir)
        ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// A name of `bytes` bytes of UTF-8 ending in ".txt".
QString nameOfBytes(int bytes)
{
    return QString(bytes - 4, u'n') + u".txt"_qs;
}

} // namespace

Q_DECLARE_METATYPE(OrvelanNimbal::Testing::FakeTransport::Reply)

class TestSyncFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void twinNamesAreBothKept_data();
    void twinNamesAreBothKept();
    void byteOrderMarkSurvivesRoundTrip();
    void killDuringRemoteSwapLosesNothing();
    void namedDownloadTemporaryIsSweptNeverUploaded_data();
    void namedDownloadTemporaryIsSweptNeverUploaded();
    void resavedElsewhereThenEditedHereIsStored();
    void linkInPlaceOfFolderTrashesNothing();
    void unreadableFileStopsNothingElse();
    void refusedUploadStopsNothingElse_data();
    void refusedUploadStopsNothingElse();
    void longConflictNameKeepsBothVersions();
    void expiredFeedIsNotWalkedEveryPass_data();
    void expiredFeedIsNotWalkedEveryPass();
    void walkDeletionsAreConfirmed();
    void folderMadeInsideRenamedFolderIsWatched();
    void closedWritesAreTold_data();
    void closedWritesAreTold();
    void emptiedFolderIsNotTrashed();
};

void TestSyncFaults::initTestCase()
{
    honourFilePermissions();
}

void TestSyncFaults::twinNamesAreBothKept_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("secondMadeHere"); // the second appears on disk rather than the drive
    const QString composed = u"\u00e9t\u00e9.txt"_qs;
    const QString decomposed = u"e\u0301te\u0301.txt"_qs;
    QTest::newRow("case, both from the drive") << u"Note.txt"_qs << u"note.txt"_qs << false;
    QTest::newRow("case, second made here") << u"Note.txt"_qs << u"note.txt"_qs << true;
    QTest::newRow("accents, both from the drive") << composed << decomposed << false;
    QTest::newRow("accents, second made here") << composed << decomposed << true;
}

void TestSyncFaults::twinNamesAreBothKept()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, secondMadeHere);
    EngineHarness harness;
    const qint64 firstID = harness.drive.addFile(first, "premier");
    if (!secondMadeHere)
        harness.drive.addFile(second, "second");
    harness.settle();
    if (secondMadeHere) {
        harness.write(second, "second");
        harness.settle();
    }
    const QMap<QString, QByteArray> both{{first, "premier"}, {second, "second"}};
    QCOMPARE(harness.drive.tree(), both);
    QCOMPARE(harness.read(first), QByteArray("premier"));
    QCOMPARE(harness.read(second), QByteArray("second"));

    // Both keep receiving new versions.
    const qint64 secondID = *harness.drive.find(second);
    harness.drive.write(firstID, "premier, v2");
    harness.drive.write(secondID, "second, v2");
    harness.settle();
    QCOMPARE(harness.read(first), QByteArray("premier, v2"));
    QCOMPARE(harness.read(second), QByteArray("second, v2"));
    QCOMPARE(harness.drive.tree().size(), 2);
}

void TestSyncFaults::byteOrderMarkSurvivesRoundTrip()
{
    EngineHarness harness;
    const QString marked = QString(QChar(0xfeff)) + u"bom.txt"_qs;
    harness.drive.addFile(marked, "marqué");
    harness.settle();
    QCOMPARE(rawNames(harness.folder), QList<QByteArray>{marked.toUtf8()});

    // Made here with the mark, sent with it; and nothing is ever renamed.
    const QString madeHere = QString(QChar(0xfeff)) + u"ici.txt"_qs;
    QFile local(harness.folder + u'/' + madeHere);
    QVERIFY(local.open(QIODevice::WriteOnly));
    local.write("d'ici");
    local.close();
    harness.settle();
    harness.reopen();
    harness.settle();
    QCOMPARE(harness.drive.tree(), (QMap<QString, QByteArray>{{marked, "marqué"},
                                                               {madeHere, "d'ici"}}));
    QCOMPARE(harness.drive.requestsFor(u"/rename"_qs), 0);
    QCOMPARE(rawNames(harness.folder), (QList<QByteArray>{marked.toUtf8(), madeHere.toUtf8()}));
}

void TestSyncFaults::killDuringRemoteSwapLosesNothing()
{
    EngineHarness harness;
    const qint64 a = harness.drive.addFile(u"a.txt"_qs, "alpha");
    const qint64 b = harness.drive.addFile(u"b.txt"_qs, "beta");
    harness.settle();
    // The service swaps the names; the extension parks one of them under a name of its own,
    // moves the other into its place, and is killed before the last rename and the journal.
    harness.drive.rename(a, u"tmp"_qs);
    harness.drive.rename(b, u"a.txt"_qs);
    harness.drive.rename(a, u"b.txt"_qs);
    QVERIFY(QFile::rename(harness.file(u"a.txt"_qs), harness.file(u".nimbal-move-%1"_qs.arg(a))));
    QVERIFY(QFile::rename(harness.file(u"b.txt"_qs), harness.file(u"a.txt"_qs)));
    harness.reopen();
    harness.settle();

    // Each id still has its own bytes, nothing went to the trash, the disk shows the swap.
    QCOMPARE(harness.drive.item(a).content, QByteArray("alpha"));
    QCOMPARE(harness.drive.item(b).content, QByteArray("beta"));
    QVERIFY(!harness.drive.item(a).trashed && !harness.drive.item(b).trashed);
    QCOMPARE(harness.read(u"a.txt"_qs), QByteArray("beta"));
    QCOMPARE(harness.read(u"b.txt"_qs), QByteArray("alpha"));
    QCOMPARE(harness.tree(), (QStringList{u"a.txt"_qs, u"b.txt"_qs}));
}

void TestSyncFaults::namedDownloadTemporaryIsSweptNeverUploaded_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("the extension's own form") << u".nimbal-%1.part.Xy12Zw.nimbal-download"_qs;
    QTest::newRow("an earlier form") << u"..nimbal-%1.part.Xy12Zw.nimbal-download"_qs;
    QTest::newRow("its part") << u".nimbal-%1.part"_qs;
}

void TestSyncFaults::namedDownloadTemporaryIsSweptNeverUploaded()
{
    QFETCH(QString, name);
    EngineHarness harness;
    const qint64 documents = harness.drive.addFolder(u"Documents"_qs);
    const qint64 report = harness.drive.addFile(u"rapport.txt"_qs, "rapport", documents);
    harness.settle();
    // Where the file system has no unnamed temporary files, a download killed half-way leaves
    // its named temporary beside its place.
    const QString temporary = u"Documents/"_qs + name.arg(report);
    harness.write(temporary, "à moitié");
    harness.reopen();
    harness.settle();
    QCOMPARE(harness.tree(), (QStringList{u"Documents"_qs, u"Documents/rapport.txt"_qs}));
    QCOMPARE(harness.drive.tree().size(), 2);
    QCOMPARE(harness.drive.requestsFor(u"/upload/"_qs), 0);
}

void TestSyncFaults::resavedElsewhereThenEditedHereIsStored()
{
    EngineHarness harness;
    const qint64 id = harness.drive.addFile(u"a.txt"_qs, "alpha");
    harness.settle();
    harness.drive.write(id, "alpha"); // the same bytes saved again on another device
    harness.settle();
    harness.write(u"a.txt"_qs, "alpha, modifié ici");
    harness.drive.clearRequests();
    harness.settle(20);
    QCOMPARE(harness.drive.item(id).content, QByteArray("alpha, modifié ici"));
    QVERIFY2(harness.drive.requestsFor(u"PUT /api/v1/drive/files/%1/content"_qs.arg(id)) <= 2,
             qPrintable(QString::number(
                 harness.drive.requestsFor(u"PUT /api/v1/drive/files/%1/content"_qs.arg(id)))));
    QCOMPARE(harness.tree(), QStringList{u"a.txt"_qs});
}

void TestSyncFaults::linkInPlaceOfFolderTrashesNothing()
{
    EngineHarness harness;
    const qint64 documents = harness.drive.addFolder(u"Documents"_qs);
    harness.drive.addFile(u"a.txt"_qs, "alpha", documents);
    harness.drive.addFile(u"b.txt"_qs, "beta", documents);
    harness.settle();
    const QString elsewhere = harness.directory.filePath(u"ailleurs"_qs);
    QVERIFY(QDir().rename(harness.file(u"Documents"_qs), elsewhere));
    QVERIFY(QFile::link(elsewhere, harness.file(u"Documents"_qs)));
    harness.settle();
    QCOMPARE(harness.drive.tree().size(), 3); // nothing trashed
    QVERIFY(QFileInfo(harness.file(u"Documents"_qs)).isSymLink());
    QCOMPARE(QDir(elsewhere).entryList(QDir::Files), (QStringList{u"a.txt"_qs, u"b.txt"_qs}));
}

void TestSyncFaults::unreadableFileStopsNothingElse()
{
    EngineHarness harness;
    const qint64 remote = harness.drive.addFile(u"distant.txt"_qs, "v1");
    harness.settle();
    harness.write(u"secret.txt"_qs, "privé");
    makeUnreadable(harness.file(u"secret.txt"_qs));
    harness.write(u"lisible.txt"_qs, "lisible");
    harness.drive.write(remote, "v2");
    harness.settle(3);
    QCOMPARE(harness.drive.tree().value(u"lisible.txt"_qs), QByteArray("lisible"));
    QCOMPARE(harness.read(u"distant.txt"_qs), QByteArray("v2"));
    QVERIFY(!harness.drive.find(u"secret.txt"_qs));
    // Readable again, it goes with the next try.
    makeReadable(harness.file(u"secret.txt"_qs));
    harness.settle();
    QCOMPARE(harness.drive.tree().value(u"secret.txt"_qs), QByteArray("privé"));
}

void TestSyncFaults::refusedUploadStopsNothingElse_data()
{
    QTest::addColumn<FakeTransport::Reply>("refusal");
    QTest::addColumn<int>("wait"); // seconds before the refused file is tried again
    QTest::newRow("server error") << FakeTransport::Reply::withStatus(500) << 25;
    QTest::newRow("too many requests, the service's wait longer")
        << FakeTransport::Reply::withStatus(429, {}, {{"Retry-After", "120"}}) << 120;
    QTest::newRow("transport")
        << FakeTransport::Reply::error(DriveError::transport(u"connexion coupée"_qs)) << 25;
}

void TestSyncFaults::refusedUploadStopsNothingElse()
{
    QFETCH(FakeTransport::Reply, refusal);
    QFETCH(int, wait);
    EngineHarness harness;
    const qint64 remote = harness.drive.addFile(u"distant.txt"_qs, "v1");
    harness.settle();
    harness.write(u"un.txt"_qs, "un");
    harness.write(u"deux.txt"_qs, "deux");
    harness.drive.write(remote, "v2");
    // A file's content goes in one request, never sent twice blindly: one refusal is its own.
    harness.drive.answerRequests(u"POST /api/v1/drive/upload/file"_qs, refusal);
    const auto outcome = harness.pass();
    QCOMPARE(harness.read(u"distant.txt"_qs), QByteArray("v2"));
    QCOMPARE(harness.drive.tree().size(), 2); // one of the two went
    QCOMPARE(outcome.retryIn, std::optional(std::chrono::milliseconds(std::chrono::seconds(wait))));
    harness.settle();
    QCOMPARE(harness.drive.tree(), (QMap<QString, QByteArray>{{u"deux.txt"_qs, "deux"},
                                                               {u"distant.txt"_qs, "v2"},
                                                               {u"un.txt"_qs, "un"}}));
}

void TestSyncFaults::longConflictNameKeepsBothVersions()
{
    EngineHarness harness;
    const QString name = nameOfBytes(250);
    const qint64 id = harness.drive.addFile(name, "v1");
    harness.drive.addFile(u"autre.txt"_qs, "autre");
    harness.settle();
    harness.write(name, "d'ici");
    harness.drive.write(id, "du web");
    harness.write(u"autre.txt"_qs, "autre, modifié");
    harness.settle();
    QCOMPARE(harness.read(name), QByteArray("du web"));
    const QStringList tree = harness.tree();
    QCOMPARE(tree.size(), 3);
    QString copy;
    for (const QString &path : tree) {
        if (path != name && path != u"autre.txt")
            copy = path;
    }
    QVERIFY(copy.contains(u"(conflit Linux "_qs));
    QVERIFY(copy.toUtf8().size() <= 255);
    QCOMPARE(harness.read(copy), QByteArray("d'ici"));
    QCOMPARE(harness.drive.tree().value(copy), QByteArray("d'ici"));
    QCOMPARE(harness.drive.tree().value(u"autre.txt"_qs), QByteArray("autre, modifié"));
}

void TestSyncFaults::expiredFeedIsNotWalkedEveryPass_data()
{
    QTest::addColumn<bool>("fromStart"); // the service still answers the feed from 0
    QTest::addColumn<int>("mostListings"); // of folders, over four passes
    QTest::newRow("feed from the start") << true << 0;
    // One walk of the tree (two folders), then the feed from 0 is asked again.
    QTest::newRow("feed refused from the start too") << false << 2;
}

void TestSyncFaults::expiredFeedIsNotWalkedEveryPass()
{
    QFETCH(bool, fromStart);
    QFETCH(int, mostListings);
    EngineHarness harness;
    const qint64 documents = harness.drive.addFolder(u"Documents"_qs);
    const qint64 a = harness.drive.addFile(u"a.txt"_qs, "v1", documents);
    harness.settle();
    harness.drive.addFile(u"b.txt"_qs, "beta", documents);
    harness.drive.forgetFeed(fromStart); // the extension's cursor is now one it forgot
    harness.drive.clearRequests();
    for (int round = 2; round < 6; ++round) {
        harness.drive.write(a, "v" + QByteArray::number(round));
        harness.pass();
    }
    const int listings = harness.drive.requestsFor(u"GET /api/v1/drive/folders?"_qs);
    QVERIFY2(listings <= mostListings, qPrintable(QString::number(listings)));
    if (fromStart)
        QCOMPARE(harness.read(u"Documents/a.txt"_qs), QByteArray("v5"));
}

void TestSyncFaults::walkDeletionsAreConfirmed()
{
    EngineHarness harness;
    const qint64 documents = harness.drive.addFolder(u"Documents"_qs);
    harness.drive.addFile(u"a.txt"_qs, "alpha", documents);
    harness.drive.addFile(u"b.txt"_qs, "beta");
    harness.settle();
    harness.drive.addFile(u"c.txt"_qs, "gamma");
    harness.drive.forgetFeed(false);
    // The walk reads Documents while a.txt is on its way elsewhere: the listing misses it.
    harness.drive.answerRequests(u"files?limit=100000&id_folder=%1"_qs.arg(documents),
                                 FakeTransport::Reply::ok("[]"));
    harness.pass();
    QCOMPARE(harness.read(u"Documents/a.txt"_qs), QByteArray("alpha"));
    QCOMPARE(harness.read(u"c.txt"_qs), QByteArray("gamma"));
    QCOMPARE(harness.drive.tree().size(), 4);
}

void TestSyncFaults::folderMadeInsideRenamedFolderIsWatched()
{
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(u"avant"_qs));
    FolderWatcher watcher(root.path());
    QVERIFY(watcher.start());
    QSignalSpy changed(&watcher, &FolderWatcher::changed);
    QVERIFY(QDir(root.path()).rename(u"avant"_qs, u"après"_qs));
    QVERIFY(changed.wait(2000));
    QVERIFY(QDir(root.path()).mkpath(u"après/dedans"_qs));
    QVERIFY(changed.wait(2000));
    QTest::qWait(100);
    changed.clear();
    QFile file(root.path() + u"/après/dedans/x.txt"_qs);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    QVERIFY(changed.wait(2000));
}

// What the watcher tells of files closed after writing or moved into place decides whether they
// wait for the quiet period: only a burst of such files may skip it, and the paths are the
// folder's.
void TestSyncFaults::closedWritesAreTold_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("onlyWritesClosed");
    QTest::addColumn<QStringList>("closed");
    QTest::newRow("written and closed") << u"write"_qs << true << QStringList{u"d/n.txt"_qs};
    QTest::newRow("still open") << u"open"_qs << true << QStringList{};
    QTest::newRow("moved in") << u"move"_qs << true << QStringList{u"d/n.txt"_qs};
    QTest::newRow("renamed within") << u"rename"_qs << true << QStringList{u"d/m.txt"_qs};
    QTest::newRow("folder moved in") << u"folder"_qs << false << QStringList{};
}

void TestSyncFaults::closedWritesAreTold()
{
    QFETCH(QString, change);
    QFETCH(bool, onlyWritesClosed);
    QFETCH(QStringList, closed);
    QTemporaryDir outside;
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(u"d"_qs));
    FolderWatcher watcher(root.path());
    QVERIFY(watcher.start());
    QSignalSpy changed(&watcher, &FolderWatcher::changed);
    QSignalSpy closedSpy(&watcher, &FolderWatcher::closedAfterWriting);
    const bool fromOutside = change == u"move" || change == u"folder";
    if (change == u"folder")
        QVERIFY(QDir(outside.path()).mkpath(u"e"_qs));
    QFile file(outside.path() + (change == u"folder" ? u"/e"_qs : QString()) + u"/n.txt"_qs);
    if (!fromOutside)
        file.setFileName(root.path() + u"/d/n.txt"_qs);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("contenu");
    if (change != u"open")
        file.close();
    if (change == u"rename") {
        QVERIFY(changed.wait(2000));
        QTest::qWait(50);
        changed.clear();
        closedSpy.clear();
        QVERIFY(QFile::rename(file.fileName(), root.path() + u"/d/m.txt"_qs));
    }
    if (change == u"move")
        QVERIFY(QFile::rename(file.fileName(), root.path() + u"/d/n.txt"_qs));
    // A folder moved in brings files nobody told of: the quiet wait stays.
    if (change == u"folder")
        QVERIFY(QFile::rename(outside.path() + u"/e"_qs, root.path() + u"/d/e"_qs));
    QVERIFY(changed.wait(2000));
    QTest::qWait(50); // the rest of the burst, if any
    QCOMPARE(changed.last().at(0).toBool(), onlyWritesClosed);
    QStringList told;
    for (const QList<QVariant> &signal : std::as_const(closedSpy))
        told.append(signal.at(0).toString());
    QCOMPARE(told, closed);
}

void TestSyncFaults::emptiedFolderIsNotTrashed()
{
    EngineHarness harness;
    const qint64 photos = harness.drive.addFolder(u"Photos"_qs);
    for (int i = 0; i < 60; ++i)
        harness.drive.addFile(u"photo-%1.jpg"_qs.arg(i), "photo " + QByteArray::number(i), photos);
    for (int i = 0; i < 200; ++i)
        harness.drive.addFile(u"note-%1.txt"_qs.arg(i), "note " + QByteArray::number(i));
    harness.settle();
    // Everything in the folder vanished at once, the folder itself still there: not a person
    // sorting photos, more likely a disk or a program gone wrong.
    for (int i = 0; i < 60; ++i)
        harness.remove(u"Photos/photo-%1.jpg"_qs.arg(i));
    harness.settle();
    QCOMPARE(harness.drive.tree().size(), 261);
}

QTEST_GUILESS_MAIN(TestSyncFaults)
#include "test_sync_faults.moc"
