// SPDX-License-Identifier: GPL-3.0-or-later
// The drive's operations through the real client and the real local service: listings, folders
// made, renamed and moved, files renamed, moved and trashed, the quota, the change feed from
// cursor to cursor and a cursor the service forgot, and content and thumbnails fetched through
// pre-signed addresses.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "ServiceTest.h"

#include <QCryptographicHash>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

template <class Item>
QStringList namesOf(const std::vector<Item> &items)
{
    QStringList names;
    for (const Item &item : items)
        names.append(item.name);
    return names;
}

// A pre-signed address fetched as the extension fetches it: no token.
HttpResult fetch(ApiClient &client, const QUrl &url)
{
    HttpRequest request;
    request.url = url;
    request.timeout = 5;
    return runAsync(client.sendExternal(request));
}

} // namespace

class TestServiceDrive : public ServiceTest {
    Q_OBJECT

private slots:
    void changesTheTreeAndFollowsTheFeed();
    void forgottenCursorIsRefused();
    void downloadsThroughPresignedAddress_data();
    void downloadsThroughPresignedAddress();
    void thumbnailKeyArrivesWhole();
};

void TestServiceDrive::changesTheTreeAndFollowsTheFeed()
{
    const DriveAccount account = signedInAccount(QStringLiteral("tree"), 100);
    const DriveAPI &drive = account.drive;
    QCOMPARE(runAsync(drive.quota()), (DriveQuota{0, 100}));
    QCOMPARE(runAsync(drive.changes(0)), DriveChanges());

    const qint64 documents = runAsync(drive.createFolder(QStringLiteral("Documents"), {}));
    const qint64 photos = runAsync(drive.createFolder(QStringLiteral("Photos"), {}));
    const qint64 year = runAsync(drive.createFolder(QStringLiteral("2024"), documents));
    const DriveFile top =
        service().putFile(account.email, u"Lisez-moi.txt"_qs, QByteArray(1 << 20, 'a'));
    const DriveFile inside =
        service().putFile(account.email, u"Facture.txt"_qs, QByteArray(1 << 19, 'b'), documents);

    // Files without a folder id are the top-level ones only; listings give the records exactly
    // as stored.
    QCOMPARE(namesOf(runAsync(drive.folders({}))), QStringList({u"Documents"_qs, u"Photos"_qs}));
    const auto nested = runAsync(drive.folders(documents));
    QCOMPARE(namesOf(nested), QStringList{u"2024"_qs});
    QCOMPARE(nested[0].id, year);
    QCOMPARE(nested[0].parentFolderID, std::optional(documents));
    QCOMPARE(runAsync(drive.files({})), std::vector<DriveFile>{top});
    QCOMPARE(runAsync(drive.files(documents)), std::vector<DriveFile>{inside});
    QCOMPARE(runAsync(drive.quota()), (DriveQuota{1.5, 100}));

    // From the start, the feed gives everything there is; from its cursor, nothing.
    const DriveChanges everything = runAsync(drive.changes(0));
    QCOMPARE(everything.folders.size(), 3u);
    QCOMPARE(everything.files, (std::vector<DriveFile>{top, inside}));
    QCOMPARE(runAsync(drive.changes(everything.cursor)), (DriveChanges{everything.cursor, {}, {}}));

    // A rename moves the cursor and comes in the next page, alone: the same content, renamed.
    const QString name = QStringLiteral("Été & « bilan » \"final\" 🏔.txt");
    runAsync(drive.renameFile(inside.id, name));
    const DriveChanges renamed = runAsync(drive.changes(everything.cursor));
    QVERIFY(renamed.cursor > everything.cursor);
    QVERIFY(renamed.folders.empty());
    QCOMPARE(namesOf(renamed.files), QStringList{name});
    QCOMPARE(renamed.files[0].contentHash, inside.contentHash);
    QCOMPARE(renamed.files[0].uploadTimestamp, inside.uploadTimestamp);

    // Renamed and moved to the top (a null parent) at once, then moved with a file elsewhere.
    runAsync(drive.updateFolder(year, u"Archives"_qs, std::make_optional(std::optional<qint64>())));
    const DriveChanges updated = runAsync(drive.changes(renamed.cursor));
    QCOMPARE(namesOf(updated.folders), QStringList{u"Archives"_qs});
    QCOMPARE(updated.folders[0].parentFolderID, std::nullopt);
    runAsync(drive.move({top.id}, {year}, photos));
    QCOMPARE(namesOf(runAsync(drive.folders(photos))), QStringList{u"Archives"_qs});
    QCOMPARE(namesOf(runAsync(drive.files(photos))), QStringList{u"Lisez-moi.txt"_qs});
    QVERIFY(runAsync(drive.files({})).empty());
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(drive.createFolder(u"Photos"_qs, {})),
                              DriveError::versionConflict());

    // A trashed folder takes its files along, out of the listings and the quota, into the feed
    // with their flag.
    const qint64 beforeTrash = runAsync(drive.changes(0)).cursor;
    runAsync(drive.trash({}, {documents}));
    const DriveChanges trashed = runAsync(drive.changes(beforeTrash));
    QCOMPARE(trashed.folders.size(), 1u);
    QVERIFY(trashed.folders[0].isTrashed);
    QCOMPARE(trashed.files.size(), 1u);
    QVERIFY(trashed.files[0].isTrashed && !trashed.files[0].isSynchronizable());
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(drive.files(documents)), DriveError::notFound());
    QCOMPARE(runAsync(drive.quota()), (DriveQuota{1, 100}));
    runAsync(drive.trash({top.id}, {}));
    QCOMPARE(runAsync(drive.quota()).usedMegabytes, 0.0);
}

void TestServiceDrive::forgottenCursorIsRefused()
{
    const DriveAccount account = signedInAccount(QStringLiteral("expired-cursor"));
    runAsync(account.drive.createFolder(QStringLiteral("Avant"), {}));
    const qint64 old = runAsync(account.drive.changes(0)).cursor;
    runAsync(account.drive.createFolder(QStringLiteral("Après"), {}));
    const qint64 newest = service().compactChanges(account.email);
    QCOMPARE(newest, old + 1);

    // Every cursor but the newest is refused, and one never handed out is no better.
    for (const qint64 cursor : {old, newest + 1})
        NIMBAL_EXPECT_DRIVE_ERROR(runAsync(account.drive.changes(cursor)),
                                  DriveError::cursorExpired());
    // The refusal is final: the client asked once per call.
    QCOMPARE(service().requestCount("GET", u"/api/v1/drive/changes"_qs), 3);
    // The start of the feed is still answered, with the whole drive and the newest cursor: what
    // a refused client starts over from.
    const DriveChanges everything = runAsync(account.drive.changes(0));
    QCOMPARE(everything.cursor, newest);
    QCOMPARE(namesOf(everything.folders), QStringList({u"Avant"_qs, u"Après"_qs}));
    QCOMPARE(runAsync(account.drive.changes(newest)).cursor, newest);
}

void TestServiceDrive::downloadsThroughPresignedAddress_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty") << QByteArray();
    // More than the service sends at once: the answer comes in pieces.
    QTest::newRow("300 KiB") << QByteArray(300 * 1024, 'z');
}

void TestServiceDrive::downloadsThroughPresignedAddress()
{
    QFETCH(QByteArray, content);
    const DriveAccount account = signedInAccount(QStringLiteral("download"));
    const DriveFile file = service().putFile(account.email, u"contenu.bin"_qs, content);

    const DriveDownload grant = runAsync(account.drive.contentURL(file));
    QCOMPARE(grant.fileSize, std::optional<qint64>(content.size()));
    QCOMPARE(grant.contentHash,
             std::optional(QString::fromLatin1(
                 QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex())));
    QCOMPARE(grant.uploadTimestamp, file.uploadTimestamp);
    QCOMPARE(grant.expiresIn, 3600);

    const HttpResult fetched = fetch(*account.client, grant.url);
    QCOMPARE(fetched.body, content);
    const auto length = fetched.response.header("Content-Length");
    QVERIFY(length);
    QCOMPARE(length->toLongLong(), content.size());
    DriveDownload::checkReceived(fetched.body.size(), length->toLongLong());
    QCOMPARE(file.refreshed(grant, fetched.body.size()), file);
}

void TestServiceDrive::thumbnailKeyArrivesWhole()
{
    const DriveAccount account = signedInAccount(QStringLiteral("thumbs"));
    const QString key = QStringLiteral("été/a b&c+d=e?f#100%_256x256.png");
    const DriveFile file = service().putFile(account.email, u"photo.png"_qs, "pixels", {}, key);

    // The service finds the key only if it arrives whole: an unescaped "&", "+" or "#" would
    // cut or change it, and the answer would be 404.
    const std::optional<QUrl> address = runAsync(account.drive.thumbnailURL(file));
    QVERIFY(address);
    const HttpResult image = fetch(*account.client, *address);
    QVERIFY(image.body.startsWith("\x89PNG\r\n\x1a\n"));
}

QTEST_GUILESS_MAIN(TestServiceDrive)
#include "test_service_drive.moc"
