// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a drive through the real client and the real local service: listings at the top and
// inside folders, the change feed from cursor to cursor, a cursor the service forgot, items
// that are gone, ids no double can hold, and the quota as files come and go.
#include "AsyncTest.h"
#include "DriveControls.h"
#include "DriveErrorTesting.h"
#include "LocalService.h"
#include "ServiceClient.h"
#include "models/DriveDTOs.h"

#include <QTest>

#include <algorithm>
#include <functional>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

// What the rows of goneItemsAreNotFound act on: items of the signed-in account that went to
// the trash, and items of another account.
struct GoneItems {
    DriveFile trashedFile;
    qint64 trashedFolder = 0;
    DriveFile otherAccountsFile;
    qint64 otherAccountsFolder = 0;
};

using GoneItemStep = std::function<QCoro::Task<>(DriveAPI, GoneItems)>;

template <class Item>
QStringList namesOf(const std::vector<Item> &items)
{
    QStringList names;
    for (const Item &item : items)
        names.append(item.name);
    return names;
}

} // namespace

Q_DECLARE_METATYPE(GoneItemStep)

class TestDriveReading : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void listsTheTopAndInsideFolders();
    void honoursTheListingLimit();
    void changeFeedFollowsEachMutation();
    void forgottenCursorRestartsEnumeration();
    void goneItemsAreNotFound_data();
    void goneItemsAreNotFound();
    void idsBeyondDoublePrecisionTravelExactly();
    void quotaFollowsStoredAndTrashedFiles();

private:
    DriveAccount newAccount(const QString &tag, qint64 quotaMegabytes = 10240)
    {
        return signedInDriveAccount(*m_service, *m_keychain, tag, quotaMegabytes);
    }
    DriveFile putFile(const QString &email, const QString &name, std::optional<qint64> folder,
                      const QByteArray &content = "contenu")
    {
        return m_controls->putFile(email,
                                   {name, folder, content, QStringLiteral("standard"), {}, {}});
    }

    std::unique_ptr<LocalService> m_service;
    std::unique_ptr<KeychainScope> m_keychain;
    std::unique_ptr<DriveControls> m_controls;
};

void TestDriveReading::initTestCase()
{
    for (const QString &reason :
         {LocalService::unavailableReason(), KeychainScope::unavailableReason()}) {
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
    }
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_keychain = std::make_unique<KeychainScope>();
    m_controls = std::make_unique<DriveControls>(*m_service);
}

void TestDriveReading::cleanup()
{
    m_service->reset();
}

void TestDriveReading::listsTheTopAndInsideFolders()
{
    const DriveAccount account = newAccount(QStringLiteral("listing"));
    const DriveAPI &drive = account.drive;
    const qint64 documents = runAsync(drive.createFolder(QStringLiteral("Documents"), {}));
    const qint64 photos = runAsync(drive.createFolder(QStringLiteral("Photos"), {}));
    const qint64 year = runAsync(drive.createFolder(QStringLiteral("2024"), documents));
    const DriveFile top = putFile(account.email, QStringLiteral("Lisez-moi.txt"), {});
    const DriveFile inside = putFile(account.email, QStringLiteral("Facture.txt"), documents);
    const DriveFile deep = putFile(account.email, QStringLiteral("Relevé.txt"), year);

    const auto topFolders = runAsync(drive.folders({}));
    QCOMPARE(namesOf(topFolders), QStringList({u"Documents"_qs, u"Photos"_qs}));
    QCOMPARE(topFolders[1].id, photos);
    QCOMPARE(topFolders[0].parentFolderID, std::nullopt);
    const auto nested = runAsync(drive.folders(documents));
    QCOMPARE(namesOf(nested), QStringList({u"2024"_qs}));
    QCOMPARE(nested[0].parentFolderID, std::optional<qint64>(documents));
    QVERIFY(runAsync(drive.folders(year)).empty());

    // Files without a folder id are the top-level ones only; each listing gives the records
    // exactly as stored.
    QCOMPARE(runAsync(drive.files({})), std::vector<DriveFile>{top});
    QCOMPARE(runAsync(drive.files(documents)), std::vector<DriveFile>{inside});
    QCOMPARE(runAsync(drive.files(year)), std::vector<DriveFile>{deep});
    QCOMPARE(inside.parentFolderID, std::optional<qint64>(documents));
    QVERIFY(inside.contentHash && inside.uploadTimestamp);
}

void TestDriveReading::honoursTheListingLimit()
{
    const DriveAccount account = newAccount(QStringLiteral("limit"));
    for (const QString &name : {u"a.txt"_qs, u"b.txt"_qs, u"c.txt"_qs})
        putFile(account.email, name, {});
    const auto listed = [&](const char *path) {
        const HttpResult result =
            runAsync(account.client->perform(QString::fromLatin1(path), "GET", {}, true));
        return Json::decode<std::vector<FileDTO>>(result.body).size();
    };
    QCOMPARE(listed("/drive/files?limit=2"), 2u);
    QCOMPARE(listed("/drive/files?limit=100000"), 3u);
    try {
        listed("/drive/files?limit=0");
        QFAIL("a limit of 0 was accepted");
    } catch (const DriveError &error) {
        QCOMPARE(error.kind(), DriveError::Kind::http);
        QCOMPARE(error.status(), 400);
    }
}

void TestDriveReading::changeFeedFollowsEachMutation()
{
    const DriveAccount account = newAccount(QStringLiteral("feed"));
    const DriveAPI &drive = account.drive;
    const DriveChanges empty = runAsync(drive.changes(0));
    QCOMPARE(empty, DriveChanges());

    const qint64 folder = runAsync(drive.createFolder(QStringLiteral("Projets"), {}));
    const DriveFile inside = putFile(account.email, QStringLiteral("plan.txt"), folder);
    const DriveFile top = putFile(account.email, QStringLiteral("note.txt"), {});

    // From the start: everything there is.
    const DriveChanges everything = runAsync(drive.changes(0));
    QCOMPARE(everything.folders.size(), 1u);
    QCOMPARE(everything.folders[0].id, folder);
    QCOMPARE(everything.files, (std::vector<DriveFile>{inside, top}));
    QVERIFY(everything.cursor > 0);
    const DriveChanges nothing = runAsync(drive.changes(everything.cursor));
    QCOMPARE(nothing, (DriveChanges{everything.cursor, {}, {}}));

    // A rename moves the cursor and comes in the next page, alone.
    runAsync(drive.renameFile(inside.id, QStringLiteral("plan v2.txt")));
    const DriveChanges renamed = runAsync(drive.changes(everything.cursor));
    QVERIFY(renamed.cursor > everything.cursor);
    QVERIFY(renamed.folders.empty());
    QCOMPARE(renamed.files.size(), 1u);
    QCOMPARE(renamed.files[0].name, u"plan v2.txt"_qs);

    // Trashed items come with their flag; a trashed folder brings its files along.
    runAsync(drive.trash({top.id}, {}));
    const DriveChanges trashedFile = runAsync(drive.changes(renamed.cursor));
    QCOMPARE(trashedFile.files.size(), 1u);
    QCOMPARE(trashedFile.files[0].id, top.id);
    QVERIFY(trashedFile.files[0].isTrashed);
    runAsync(drive.trash({}, {folder}));
    const DriveChanges trashedFolder = runAsync(drive.changes(trashedFile.cursor));
    QCOMPARE(trashedFolder.folders.size(), 1u);
    QVERIFY(trashedFolder.folders[0].isTrashed);
    QCOMPARE(trashedFolder.files.size(), 1u);
    QVERIFY(trashedFolder.files[0].isTrashed && !trashedFolder.files[0].isSynchronizable());
}

void TestDriveReading::forgottenCursorRestartsEnumeration()
{
    const DriveAccount account = newAccount(QStringLiteral("expired-cursor"));
    const DriveAPI &drive = account.drive;
    runAsync(drive.createFolder(QStringLiteral("Avant"), {}));
    const qint64 old = runAsync(drive.changes(0)).cursor;
    runAsync(drive.createFolder(QStringLiteral("Après"), {}));
    const qint64 newest = m_controls->compactChanges(account.email);
    QCOMPARE(newest, old + 1);

    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(drive.changes(old)), DriveError::cursorExpired());
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(drive.changes(0)), DriveError::cursorExpired());
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(drive.changes(-1)), DriveError::cursorExpired());
    // A cursor never handed out is no better.
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(drive.changes(newest + 1)), DriveError::cursorExpired());
    // The refusal is final: the client asked once per call.
    QCOMPARE(m_service->requestCount("GET", u"/api/v1/drive/changes"_qs), 5);

    // The full listing the client falls back on, then the newest cursor, still work.
    QCOMPARE(runAsync(drive.folders({})).size(), 2u);
    QCOMPARE(runAsync(drive.changes(newest)).cursor, newest);
}

void TestDriveReading::goneItemsAreNotFound_data()
{
    QTest::addColumn<GoneItemStep>("step");

    const auto row = [](const char *name, GoneItemStep step) { QTest::newRow(name) << step; };
    row("rename a trashed file", [](DriveAPI drive, GoneItems gone) -> QCoro::Task<> {
        co_await drive.renameFile(gone.trashedFile.id, QStringLiteral("x"));
    });
    row("rename another account's file", [](DriveAPI drive, GoneItems gone) -> QCoro::Task<> {
        co_await drive.renameFile(gone.otherAccountsFile.id, QStringLiteral("x"));
    });
    row("list inside a trashed folder", [](DriveAPI drive, GoneItems gone) -> QCoro::Task<> {
        co_await drive.folders(gone.trashedFolder);
    });
    row("list another account's folder", [](DriveAPI drive, GoneItems gone) -> QCoro::Task<> {
        co_await drive.files(gone.otherAccountsFolder);
    });
    row("create inside a trashed folder", [](DriveAPI drive, GoneItems gone) -> QCoro::Task<> {
        co_await drive.createFolder(QStringLiteral("x"), gone.trashedFolder);
    });
    row("update a folder that never was", [](DriveAPI drive, GoneItems) -> QCoro::Task<> {
        co_await drive.updateFolder(424242, QStringLiteral("x"), std::nullopt);
    });
    row("move into another account's folder", [](DriveAPI drive, GoneItems gone) -> QCoro::Task<> {
        // Lists built before the wait: GCC 12 mishandles braced lists inside co_await.
        std::vector<qint64> folders{gone.trashedFolder};
        co_await drive.move({}, std::move(folders), gone.otherAccountsFolder);
    });
    row("trash another account's file", [](DriveAPI drive, GoneItems gone) -> QCoro::Task<> {
        std::vector<qint64> files{gone.otherAccountsFile.id};
        co_await drive.trash(std::move(files), {});
    });
    row("download another account's file", [](DriveAPI drive, GoneItems gone) -> QCoro::Task<> {
        co_await drive.contentURL(gone.otherAccountsFile);
    });
}

void TestDriveReading::goneItemsAreNotFound()
{
    QFETCH(GoneItemStep, step);
    const DriveAccount account = newAccount(QStringLiteral("gone"));
    const DriveAccount other = newAccount(QStringLiteral("other"));
    GoneItems gone;
    gone.trashedFolder = runAsync(account.drive.createFolder(QStringLiteral("Vieux"), {}));
    gone.trashedFile = putFile(account.email, QStringLiteral("vieux.txt"), {});
    runAsync(account.drive.trash({gone.trashedFile.id}, {gone.trashedFolder}));
    gone.otherAccountsFolder = runAsync(other.drive.createFolder(QStringLiteral("Privé"), {}));
    gone.otherAccountsFile = putFile(other.email, QStringLiteral("privé.txt"), {});
    const DriveChanges othersBefore = runAsync(other.drive.changes(0));

    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(step(account.drive, gone)), DriveError::notFound());
    QCOMPARE(runAsync(other.drive.changes(0)), othersBefore);
}

void TestDriveReading::idsBeyondDoublePrecisionTravelExactly()
{
    // 2^53 + 1: the first whole number a double cannot hold, read as 2^53 by any decoder that
    // goes through one.
    constexpr qint64 firstId = (qint64(1) << 53) + 1;
    m_controls->startIdsAt(firstId);
    const DriveAccount account = newAccount(QStringLiteral("big-ids"));
    const DriveAPI &drive = account.drive;

    const qint64 folder = runAsync(drive.createFolder(QStringLiteral("Grand"), {}));
    QCOMPARE(folder, firstId);
    const DriveFile file = putFile(account.email, QStringLiteral("grand.txt"), folder);
    QCOMPARE(file.id, firstId + 1);
    QCOMPARE(file.parentFolderID, std::optional<qint64>(firstId));

    QCOMPARE(runAsync(drive.folders({})).at(0).id, firstId);
    QCOMPARE(runAsync(drive.files(folder)).at(0).id, firstId + 1);
    runAsync(drive.renameFile(file.id, QStringLiteral("encore plus grand.txt")));
    const qint64 inner = runAsync(drive.createFolder(QStringLiteral("Dedans"), folder));
    runAsync(drive.updateFolder(inner, std::nullopt, std::make_optional(std::optional<qint64>())));
    runAsync(drive.move({file.id}, {}, inner));

    const DriveChanges changes = runAsync(drive.changes(0));
    QCOMPARE(changes.files.at(0).id, firstId + 1);
    QCOMPARE(changes.files.at(0).parentFolderID, std::optional<qint64>(inner));
    QCOMPARE(changes.files.at(0).name, u"encore plus grand.txt"_qs);
    QCOMPARE(runAsync(drive.contentURL(changes.files.at(0))).fileSize, file.size);
}

void TestDriveReading::quotaFollowsStoredAndTrashedFiles()
{
    const DriveAccount account = newAccount(QStringLiteral("quota"), 100);
    const DriveAPI &drive = account.drive;
    QCOMPARE(runAsync(drive.quota()), (DriveQuota{0, 100}));

    const DriveFile mebibyte =
        putFile(account.email, QStringLiteral("un.bin"), {}, QByteArray(1 << 20, 'a'));
    const qint64 folder = runAsync(drive.createFolder(QStringLiteral("Moitié"), {}));
    putFile(account.email, QStringLiteral("demi.bin"), folder, QByteArray(1 << 19, 'b'));
    QCOMPARE(runAsync(drive.quota()), (DriveQuota{1.5, 100}));

    // The trash does not count; a trashed folder takes its files out of the count too.
    runAsync(drive.trash({mebibyte.id}, {}));
    QCOMPARE(runAsync(drive.quota()), (DriveQuota{0.5, 100}));
    runAsync(drive.trash({}, {folder}));
    QCOMPARE(runAsync(drive.quota()).usedMegabytes, 0.0);
}

QTEST_GUILESS_MAIN(TestDriveReading)
#include "test_drive_reading.moc"
