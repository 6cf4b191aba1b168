// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's decisions over a drive in memory and a real folder: the first pass, every kind of
// change the feed brings, names that must not reach the disk, local work that must survive
// whatever the service says, a forgotten cursor, a listing that fails, and a pass cut short.
#include "DriveErrorTesting.h"
#include "EngineHarness.h"
#include "FileAccess.h"
#include "disk/SafeNames.h"
#include "engine/ItemStatus.h"
#include "engine/Reconciler.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::FileProvider;
using namespace OrvelanNimbal::Testing;

namespace {

// The drive most tests start from.
struct SmallDrive {
    qint64 documents, year, alpha, beta, top;

    explicit SmallDrive(FakeDrive &drive)
        : documents(drive.addFolder(u"Documents"_qs))
        , year(drive.addFolder(u"2024"_qs, documents))
        , alpha(drive.addFile(u"a.txt"_qs, "alpha", documents))
        , beta(drive.addFile(u"b.txt"_qs, "beta", year))
        , top(drive.addFile(u"Lisez-moi.txt"_qs, "top"))
    {}

    static QStringList tree()
    {
        return {u"Documents"_qs, u"Documents/2024"_qs, u"Documents/2024/b.txt"_qs,
                u"Documents/a.txt"_qs, u"Lisez-moi.txt"_qs};
    }
};

enum class Change { renameFile, moveFile, renameFolder, trashFile, trashFolder, newContent, swap };

} // namespace

class TestSyncEngine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { honourFilePermissions(); }
    void firstPassPlacesTheDrive();
    void refusedNamesStayOffTheDisk_data();
    void refusedNamesStayOffTheDisk();
    void remoteChangesReachTheDisk_data();
    void remoteChangesReachTheDisk();
    void localWorkSurvives_data();
    void localWorkSurvives();
    void forgottenCursorReconciles();
    void incompleteListingsRemoveNothing();
    void interruptedPassResumes();
    void statusSaysWhy_data();
    void statusSaysWhy();
};

void TestSyncEngine::firstPassPlacesTheDrive()
{
    EngineHarness harness;
    const SmallDrive drive(harness.drive);
    const qint64 archived =
        harness.drive.addFile(u"vieux.zip"_qs, "zip", drive.documents, u"glacier"_qs);
    harness.drive.trash(harness.drive.addFile(u"jeté.txt"_qs, "x"));

    const auto outcome = harness.pass();
    QCOMPARE(outcome.itemsLeft, 0);
    QCOMPARE(harness.tree(), SmallDrive::tree());
    QCOMPARE(harness.read(u"Documents/2024/b.txt"_qs), QByteArray("beta"));
    QCOMPARE(QFileInfo(harness.file(u"Documents/a.txt"_qs)).lastModified().toSecsSinceEpoch(),
             1700000000);
    QCOMPARE(harness.downloads->served(), 3);
    const ItemTable rows = harness.journalItems();
    QCOMPARE(rows.value(ItemKey::file(archived)).skipped, skippedArchived);

    // The archived file is counted where the application reads it.
    const auto summary = DomainSummary::load(harness.summaryFile());
    QVERIFY(summary);
    QCOMPARE(summary->archivedFileIDs, QSet<qint64>{archived});

    // The item store maps each path to its item, for the user only.
    QFile store(harness.itemStoreFile().toLocalFile());
    QVERIFY(store.open(QIODevice::ReadOnly));
    QCOMPARE(store.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
    const QJsonObject items =
        QJsonDocument::fromJson(store.readAll()).object().value(u"items").toObject();
    QCOMPARE(items.keys(), SmallDrive::tree());
    const QJsonObject alpha = items.value(u"Documents/a.txt").toObject();
    QCOMPARE(alpha.value(u"id").toString(), u"f:%1"_qs.arg(drive.alpha));
    QCOMPARE(alpha.value(u"parent").toString(), u"d:%1"_qs.arg(drive.documents));
    // printf 'alpha' | sha256sum
    QCOMPARE(alpha.value(u"hash").toString(),
             u"8ed3f6ad685b959ead7022518e1af76cd816f8e8ec7ccdda1ed4018e8f2223f8"_qs);

    // Nothing changed: the next pass reads the feed from its cursor and fetches nothing.
    harness.pass();
    QCOMPARE(harness.downloads->served(), 3);
    QVERIFY(harness.drive.requestsFor(u"since=%1"_qs.arg(*harness.cursor())) > 0);
}

void TestSyncEngine::refusedNamesStayOffTheDisk_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("dot") << u"."_qs;
    QTest::newRow("dot dot") << u".."_qs;
    QTest::newRow("slash") << u"../../evil"_qs;
    QTest::newRow("nul") << QString(u"a\0b"_qs);
    QTest::newRow("256 bytes") << QString(128, QChar(0xe9));
    QTest::newRow("our marker") << SafeNames::folderMarkerName;
    QTest::newRow("our downloads") << SafeNames::partialDownloadName(101);
    QTest::newRow("never synchronised") << u".DS_Store"_qs;
}

void TestSyncEngine::refusedNamesStayOffTheDisk()
{
    QFETCH(QString, name);
    EngineHarness harness;
    const qint64 folder = harness.drive.addFolder(name);
    const qint64 inside = harness.drive.addFile(u"dedans.txt"_qs, "x", folder);
    const qint64 file = harness.drive.addFile(name, "x");
    harness.drive.addFile(u"sain.txt"_qs, "ok");

    harness.pass();
    QCOMPARE(harness.tree(), QStringList{u"sain.txt"_qs});
    QVERIFY(!QFileInfo::exists(harness.directory.filePath(u"evil"_qs)));
    const ItemTable items = harness.journalItems();
    QVERIFY(!items[ItemKey::folder(folder)].skipped.isEmpty());
    QCOMPARE(items[ItemKey::file(inside)].skipped, skippedParent);
    QVERIFY(!items[ItemKey::file(file)].skipped.isEmpty());
}

void TestSyncEngine::remoteChangesReachTheDisk_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("file renamed") << Change::renameFile
                                  << QStringList{u"Documents"_qs, u"Documents/2024"_qs,
                                                 u"Documents/2024/b.txt"_qs, u"Documents/A.txt"_qs,
                                                 u"Lisez-moi.txt"_qs};
    QTest::newRow("file moved") << Change::moveFile
                                << QStringList{u"Documents"_qs, u"Documents/2024"_qs,
                                               u"Documents/2024/a.txt"_qs,
                                               u"Documents/2024/b.txt"_qs, u"Lisez-moi.txt"_qs};
    QTest::newRow("folder renamed")
        << Change::renameFolder
        << QStringList{u"Docs"_qs, u"Docs/2024"_qs, u"Docs/2024/b.txt"_qs, u"Docs/a.txt"_qs,
                       u"Lisez-moi.txt"_qs};
    QTest::newRow("file trashed") << Change::trashFile
                                  << QStringList{u"Documents"_qs, u"Documents/2024"_qs,
                                                 u"Documents/2024/b.txt"_qs, u"Lisez-moi.txt"_qs};
    QTest::newRow("folder trashed") << Change::trashFolder << QStringList{u"Lisez-moi.txt"_qs};
    QTest::newRow("new content") << Change::newContent << SmallDrive::tree();
    QTest::newRow("names swapped") << Change::swap << SmallDrive::tree();
}

void TestSyncEngine::remoteChangesReachTheDisk()
{
    QFETCH(Change, change);
    QFETCH(QStringList, expected);
    EngineHarness harness;
    const SmallDrive drive(harness.drive);
    harness.pass();

    FakeDrive &service = harness.drive;
    switch (change) {
    case Change::renameFile:
        service.rename(drive.alpha, u"A.txt"_qs);
        break;
    case Change::moveFile:
        service.move(drive.alpha, drive.year);
        break;
    case Change::renameFolder:
        service.rename(drive.documents, u"Docs"_qs);
        break;
    case Change::trashFile:
        service.trash(drive.alpha);
        break;
    case Change::trashFolder:
        service.trash(drive.documents);
        break;
    case Change::newContent:
        service.write(drive.alpha, "alpha, deuxième version");
        break;
    case Change::swap:
        // Lisez-moi.txt and Documents/a.txt trade places in one page of the feed.
        service.move(drive.alpha, 0);
        service.rename(drive.alpha, u"Lisez-moi.txt"_qs);
        service.move(drive.top, drive.documents);
        service.rename(drive.top, u"a.txt"_qs);
        break;
    }
    const int served = harness.downloads->served();
    harness.pass();
    QCOMPARE(harness.tree(), expected);
    // Renames and moves are done on disk, never by fetching the content again.
    QCOMPARE(harness.downloads->served(), served + (change == Change::newContent ? 1 : 0));
    if (change == Change::newContent)
        QCOMPARE(harness.read(u"Documents/a.txt"_qs), QByteArray("alpha, deuxième version"));
    if (change == Change::swap) {
        QCOMPARE(harness.read(u"Lisez-moi.txt"_qs), QByteArray("alpha"));
        QCOMPARE(harness.read(u"Documents/a.txt"_qs), QByteArray("top"));
    }
    // The journal says the same as the disk: a pass after a restart has nothing to do.
    harness.reopen();
    harness.pass();
    QCOMPARE(harness.tree(), expected);
    QCOMPARE(harness.downloads->served(), served + (change == Change::newContent ? 1 : 0));
}

void TestSyncEngine::localWorkSurvives_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QByteArray>("localCopy"); // the content of the last path in `expected`
    QTest::addColumn<bool>("conflict");
    QTest::newRow("edited here, trashed there")
        << u"trashed"_qs << QStringList{u"Documents"_qs, u"Documents/a.txt"_qs}
        << QByteArray("mon travail") << false;
    QTest::newRow("edited on both sides")
        << u"changed"_qs
        << QStringList{u"Documents"_qs, u"Documents/a (conflit Linux 2024-03-05 14h07).txt"_qs,
                       u"Documents/a.txt"_qs}
        << QByteArray("alpha, version du web") << true;
    QTest::newRow("a file of the user where a new item goes")
        << u"occupied"_qs
        << QStringList{u"Documents"_qs, u"Documents/a.txt"_qs,
                       u"Documents/c (conflit Linux 2024-03-05 14h07).txt"_qs,
                       u"Documents/c.txt"_qs}
        << QByteArray("gamma") << true;
    QTest::newRow("the same content already there")
        << u"same"_qs << QStringList{u"Documents"_qs, u"Documents/a.txt"_qs, u"Documents/c.txt"_qs}
        << QByteArray("gamma") << false;
}

void TestSyncEngine::localWorkSurvives()
{
    QFETCH(QString, situation);
    QFETCH(QStringList, expected);
    QFETCH(QByteArray, localCopy);
    QFETCH(bool, conflict);
    EngineHarness harness;
    harness.client.clock->setCurrentDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7), Qt::UTC));
    const qint64 documents = harness.drive.addFolder(u"Documents"_qs);
    const qint64 alpha = harness.drive.addFile(u"a.txt"_qs, "alpha", documents);
    harness.pass();

    if (situation == u"trashed") {
        harness.write(u"Documents/a.txt"_qs, "mon travail");
        harness.drive.trash(documents);
    } else if (situation == u"changed") {
        harness.write(u"Documents/a.txt"_qs, "mon travail");
        harness.drive.write(alpha, "alpha, version du web");
    } else {
        harness.write(u"Documents/c.txt"_qs, situation == u"same" ? "gamma" : "le sien");
        harness.drive.addFile(u"c.txt"_qs, "gamma", documents);
    }
    const int served = harness.downloads->served();
    harness.pass();
    QCOMPARE(harness.tree(), expected);
    QCOMPARE(harness.read(expected.last()), localCopy);
    if (situation == u"changed")
        QCOMPARE(harness.read(expected[1]), QByteArray("mon travail"));
    if (situation == u"occupied")
        QCOMPARE(harness.read(expected[2]), QByteArray("le sien"));
    if (situation == u"same")
        QCOMPARE(harness.downloads->served(), served); // recorded, not fetched again
    const auto summary = DomainSummary::load(harness.summaryFile());
    QCOMPARE(summary && !summary->conflicts.isEmpty(), conflict);
}

void TestSyncEngine::forgottenCursorReconciles()
{
    EngineHarness harness;
    const SmallDrive drive(harness.drive);
    harness.pass();
    harness.drive.trash(drive.alpha);
    harness.drive.rename(drive.top, u"Lisez-moi d'abord.txt"_qs);
    harness.drive.forgetFeed(); // the feed and its start refused: the tree is walked

    harness.pass();
    QCOMPARE(harness.tree(),
             (QStringList{u"Documents"_qs, u"Documents/2024"_qs, u"Documents/2024/b.txt"_qs,
                          u"Lisez-moi d'abord.txt"_qs}));
    QCOMPARE(harness.downloads->served(), 3);
    QVERIFY(harness.drive.requestsFor(u"/drive/folders"_qs) > 0);
}

void TestSyncEngine::incompleteListingsRemoveNothing()
{
    EngineHarness harness;
    const SmallDrive drive(harness.drive);
    harness.pass();

    // A walk that fails half-way applies nothing.
    harness.drive.trash(drive.top);
    harness.drive.forgetFeed();
    harness.drive.failRequests(u"id_folder=%1"_qs.arg(drive.year), 500, 3);
    NIMBAL_EXPECT_DRIVE_ERROR(harness.pass(), DriveError::http(500, {}));
    QCOMPARE(harness.tree(), SmallDrive::tree());

    // A complete listing that has lost everything is held back rather than obeyed.
    harness.drive.trash(drive.documents);
    harness.pass();
    QCOMPARE(harness.tree(), SmallDrive::tree());
}

void TestSyncEngine::interruptedPassResumes()
{
    EngineHarness harness;
    const SmallDrive drive(harness.drive);
    harness.downloads->failNext(drive.beta);
    const auto outcome = harness.pass();
    QCOMPARE(outcome.itemsLeft, 1);
    QVERIFY(outcome.retryIn);
    QVERIFY(!harness.tree().contains(u"Documents/2024/b.txt"_qs));
    QVERIFY(!QFileInfo::exists(
        harness.file(u"Documents/2024/"_qs + SafeNames::partialDownloadName(drive.beta))));

    // Killed after the new content was renamed into place, before the journal heard of it;
    // started again once the failed download's wait is over.
    harness.client.clock->advance(*outcome.retryIn);
    harness.drive.write(drive.alpha, "alpha 2");
    harness.write(u"Documents/a.txt"_qs, "alpha 2");
    harness.reopen();
    const int served = harness.downloads->served();
    harness.pass();
    QCOMPARE(harness.tree(), SmallDrive::tree());
    QCOMPARE(harness.read(u"Documents/a.txt"_qs), QByteArray("alpha 2"));
    // Only the file that never arrived was fetched; the renamed one was recognised.
    QCOMPARE(harness.downloads->served(), served + 1);
}

void TestSyncEngine::statusSaysWhy_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("reason");
    using State = ItemStatus::State;
    using Reason = ItemStatus::Reason;
    QTest::newRow("in step") << u"none"_qs << u"Documents/a.txt"_qs << int(State::synced)
                             << int(Reason::none);
    QTest::newRow("a folder in step")
        << u"none"_qs << u"Documents/Vieux"_qs << int(State::synced) << int(Reason::none);
    QTest::newRow("new here") << u"new"_qs << u"Documents/neuf.txt"_qs
                              << int(State::pendingUpload) << int(Reason::none);
    QTest::newRow("edited here") << u"edit"_qs << u"Documents/a.txt"_qs
                                 << int(State::pendingUpload) << int(Reason::none);
    QTest::newRow("newer on the drive") << u"newer"_qs << u"Documents/a.txt"_qs
                                        << int(State::pendingDownload) << int(Reason::none);
    QTest::newRow("a name never synchronised")
        << u"none"_qs << u"Documents/.DS_Store"_qs << int(State::excluded)
        << int(Reason::excludedName);
    QTest::newRow("archived, not on disk") << u"none"_qs << u"Documents/vieux.zip"_qs
                                           << int(State::excluded) << int(Reason::archived);
    QTest::newRow("a folder holding it") << u"none"_qs << u"Documents"_qs << int(State::excluded)
                                         << int(Reason::archived);
    QTest::newRow("unreadable") << u"unreadable"_qs << u"Documents/secret.txt"_qs
                                << int(State::excluded) << int(Reason::unreadable);
    QTest::newRow("refused by the drive") << u"refused"_qs << u"Documents/refusé.txt"_qs
                                          << int(State::excluded) << int(Reason::refused);
    QTest::newRow("a conflict copy")
        << u"conflict"_qs << u"Documents/a (conflit Linux 2024-03-05 14h07).txt"_qs
        << int(State::conflict) << int(Reason::none);
    QTest::newRow("a link") << u"link"_qs << u"Documents/lien"_qs << int(State::excluded)
                            << int(Reason::specialFile);
    QTest::newRow("nothing there") << u"none"_qs << u"Documents/rien.txt"_qs
                                   << int(State::unknown) << int(Reason::none);
}

// The status read beside a running engine, from the journal it committed, its recorded
// failures and the disk.
void TestSyncEngine::statusSaysWhy()
{
    QFETCH(QString, situation);
    QFETCH(QString, path);
    QFETCH(int, state);
    QFETCH(int, reason);
    EngineHarness harness;
    const qint64 documents = harness.drive.addFolder(u"Documents"_qs);
    harness.drive.addFolder(u"Vieux"_qs, documents);
    const qint64 a = harness.drive.addFile(u"a.txt"_qs, "alpha", documents);
    harness.drive.addFile(u"vieux.zip"_qs, "zip", documents, u"glacier"_qs);
    harness.pass();
    if (situation == u"new") {
        harness.write(u"Documents/neuf.txt"_qs, "neuf");
    } else if (situation == u"edit") {
        harness.write(u"Documents/a.txt"_qs, "alpha, modifié");
    } else if (situation == u"newer") {
        harness.drive.write(a, "alpha, de l'autre ordinateur");
        harness.downloads->failNext(a); // read from the service, not here yet
        harness.pass();
    } else if (situation == u"unreadable") {
        // Refused by the disk: the pass's failure for it is what the status says.
        harness.write(u"Documents/secret.txt"_qs, "secret");
        makeUnreadable(harness.file(u"Documents/secret.txt"_qs));
        harness.pass();
    } else if (situation == u"refused") {
        harness.drive.failRequests(u"/upload/file"_qs, 400, 1);
        harness.write(u"Documents/refusé.txt"_qs, "non");
        harness.pass();
    } else if (situation == u"conflict") {
        harness.write(u"Documents/a (conflit Linux 2024-03-05 14h07).txt"_qs, "la mienne");
    } else if (situation == u"link") {
        QFile::link(harness.file(u"Documents/a.txt"_qs), harness.file(u"Documents/lien"_qs));
    }
    FileProvider::Journal journal(harness.journalFile());
    const FileProvider::LocalFolder folder(harness.folder);
    const ItemStatus status = statusOf({journal, folder, {}}, path);
    QCOMPARE(ItemStatus::word(ItemStatus::State(status.state)),
             ItemStatus::word(ItemStatus::State(state)));
    QCOMPARE(ItemStatus::word(status.reason), ItemStatus::word(ItemStatus::Reason(reason)));
}

QTEST_GUILESS_MAIN(TestSyncEngine)
#include "test_sync_engine.moc"
