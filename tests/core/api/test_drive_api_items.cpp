// SPDX-License-Identifier: GPL-3.0-or-later
// Changing the tree and reaching content through DriveAPI: the exact requests, the requests
// that are not sent, the answers used and those ignored, and the thumbnail key's escaping.
#include "DriveAPIHarness.h"
#include "DriveErrorTesting.h"
#include "DriveModelsTesting.h"

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using Reply = FakeTransport::Reply;

Q_DECLARE_METATYPE(OrvelanNimbal::DriveError)
Q_DECLARE_METATYPE(OrvelanNimbal::DriveFile)
Q_DECLARE_METATYPE(OrvelanNimbal::Testing::FakeTransport::Reply)

class TestDriveAPIItems : public QObject {
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void answers_data();
    void answers();
    void thumbnails_data();
    void thumbnails();
    void downloadGrants();
};

void TestDriveAPIItems::requests_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QByteArray>("method"); // empty: nothing is sent
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");

    // Every answer is {"id":9007199254740993}, the id of a created folder.
    const auto createFolder = [](QString name, std::optional<qint64> parent) {
        return Operation([=](const DriveAPI &api) {
            QCOMPARE(runAsync(api.createFolder(name, parent)), qint64(9007199254740993));
        });
    };
    const auto rename = [](QString name) {
        return Operation([=](const DriveAPI &api) { runAsync(api.renameFile(5, name)); });
    };
    const auto update = [](std::optional<QString> name,
                           std::optional<std::optional<qint64>> parent) {
        return Operation([=](const DriveAPI &api) { runAsync(api.updateFolder(9, name, parent)); });
    };
    const auto move = [](std::vector<qint64> files, std::vector<qint64> folders,
                         std::optional<qint64> target) {
        return Operation([=](const DriveAPI &api) { runAsync(api.move(files, folders, target)); });
    };
    const auto trash = [](std::vector<qint64> files, std::vector<qint64> folders) {
        return Operation([=](const DriveAPI &api) { runAsync(api.trash(files, folders)); });
    };
    const std::optional<QString> sameName;
    const std::optional<std::optional<qint64>> sameParent, toTheRoot(std::optional<qint64>{});

    QTest::newRow("folder at the top")
        << createFolder(QStringLiteral("A"), std::nullopt) << QByteArray("POST")
        << QStringLiteral("/drive/folders") << QByteArray(R"({"folder_name":"A","id_parent":0})");
    QTest::newRow("folder in the largest id")
        << createFolder(QStringLiteral("A"), 9223372036854775807) << QByteArray("POST")
        << QStringLiteral("/drive/folders")
        << QByteArray(R"({"folder_name":"A","id_parent":9223372036854775807})");
    QTest::newRow("rename: a bare JSON string")
        << rename(QStringLiteral("x")) << QByteArray("PUT")
        << QStringLiteral("/drive/files/5/rename") << QByteArray(R"("x")");
    QTest::newRow("rename: escapes, nothing trimmed")
        << rename(QStringLiteral(" a\"b\\é/\n ")) << QByteArray("PUT")
        << QStringLiteral("/drive/files/5/rename") << QByteArray(R"(" a\"b\\é/\n ")");
    QTest::newRow("folder renamed")
        << update(QStringLiteral("B"), sameParent) << QByteArray("PUT")
        << QStringLiteral("/drive/folders/9") << QByteArray(R"({"folder_name":"B"})");
    QTest::newRow("folder moved to the root")
        << update(sameName, toTheRoot) << QByteArray("PUT") << QStringLiteral("/drive/folders/9")
        << QByteArray(R"({"parent_id":0})");
    QTest::newRow("folder renamed and moved")
        << update(QStringLiteral("B"), std::optional<qint64>(4)) << QByteArray("PUT")
        << QStringLiteral("/drive/folders/9") << QByteArray(R"({"folder_name":"B","parent_id":4})");
    QTest::newRow("folder update without a change")
        << update(sameName, sameParent) << QByteArray() << QString() << QByteArray();
    QTest::newRow("files moved to the top")
        << move({1, 2}, {}, std::nullopt) << QByteArray("POST") << QStringLiteral("/drive/move")
        << QByteArray(R"({"file_ids":[1,2],"folder_ids":[],"target_folder_id":0})");
    QTest::newRow("64-bit ids moved")
        << move({9007199254740993}, {-9223372036854775807}, 9007199254740995) << QByteArray("POST")
        << QStringLiteral("/drive/move")
        << QByteArray(R"({"file_ids":[9007199254740993],"folder_ids":[-9223372036854775807],)"
                      R"("target_folder_id":9007199254740995})");
    QTest::newRow("a move of nothing")
        << move({}, {}, 3) << QByteArray() << QString() << QByteArray();
    QTest::newRow("trash") << trash({1}, {}) << QByteArray("POST")
                           << QStringLiteral("/drive/bulk-delete")
                           << QByteArray(R"({"file_ids":[1],"folder_ids":[]})");
    QTest::newRow("trash of nothing") << trash({}, {}) << QByteArray() << QString() << QByteArray();
}

void TestDriveAPIItems::requests()
{
    QFETCH(Operation, operation);
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);

    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok(R"({"id":9007199254740993})"));
    operation(harness.api);
    QCOMPARE(harness.requestCount(), method.isEmpty() ? 0 : 1);
    if (method.isEmpty())
        return;
    const HttpRequest &sent = harness.request();
    QCOMPARE(sent.method, method);
    QCOMPARE(harness.sentPath(), path);
    QCOMPARE(sent.header("Content-Type"), std::optional(QByteArray("application/json")));
    QCOMPARE(sent.header("Authorization"), std::optional(QByteArray("Bearer tok")));
    QCOMPARE(sent.body, body);
}

void TestDriveAPIItems::answers_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<std::optional<DriveError>>("expected");

    const Operation rename(
        [](const DriveAPI &api) { runAsync(api.renameFile(5, QStringLiteral("b"))); });
    const Operation move([](const DriveAPI &api) { runAsync(api.move({1}, {}, 2)); });
    const Operation createFolder(
        [](const DriveAPI &api) { runAsync(api.createFolder(QStringLiteral("A"), 3)); });
    const Operation thumbnail([](const DriveAPI &api) {
        runAsync(api.thumbnailURL(driveFile(3, QStringLiteral("a.jpg"), [](DriveFile &f) {
            f.thumbnailPath = QStringLiteral("k");
        })));
    });
    const auto unreadable = [](const char *description) {
        return std::optional(DriveError::decoding(QString::fromUtf8(description)));
    };
    QTest::newRow("answers to changes are not read")
        << rename << Reply::ok("not JSON at all") << std::optional<DriveError>();
    QTest::newRow("an archived file")
        << rename
        << Reply::withStatus(409, {}, {{QByteArray("X-Drive-Conflict"), QByteArray("archived")}})
        << std::optional(DriveError::archived());
    QTest::newRow("gone") << move << Reply::withStatus(404)
                          << std::optional(DriveError::notFound());
    QTest::newRow("created folder without an id")
        << createFolder << Reply::ok(R"({"folder_name":"A"})")
        << unreadable("$ : clé « id » absente");
    QTest::newRow("created folder id as text")
        << createFolder << Reply::ok(R"({"id":"12"})") << unreadable("$.id : entier attendu");
    QTest::newRow("thumbnail address that does not parse")
        << thumbnail << Reply::ok(R"({"url":"http://[::1"})")
        << unreadable("URL de miniature invalide");
    QTest::newRow("no thumbnail address")
        << thumbnail << Reply::ok("{}") << unreadable("$ : clé « url » absente");
}

void TestDriveAPIItems::answers()
{
    QFETCH(Operation, operation);
    QFETCH(Reply, reply);
    QFETCH(std::optional<DriveError>, expected);
    DriveAPIHarness harness;
    harness.transport->enqueue(reply);
    if (expected)
        NIMBAL_EXPECT_DRIVE_ERROR(operation(harness.api), *expected);
    else
        operation(harness.api);
    QCOMPARE(harness.requestCount(), 1);
}

void TestDriveAPIItems::thumbnails_data()
{
    QTest::addColumn<DriveFile>("file");
    QTest::addColumn<QString>("path"); // empty: nothing asked

    const auto withThumbnails = [](QString path,
                                   StorageClass storageClass = StorageClass::standard) {
        return driveFile(3, QStringLiteral("a.jpg"), [=](DriveFile &f) {
            f.thumbnailPath = path;
            f.storageClass = storageClass;
        });
    };
    QTest::newRow("what would end the value is escaped, the rest of a query's characters kept")
        << withThumbnails(QStringLiteral("a b&k+=?#%/é:@!$'()*,;~-._"))
        << QStringLiteral(
               "/drive/thumbnails/presign?s3_key=a%20b%26k%2B%3D%3F%23%25/%C3%A9:@!$'()*,;~-._");
    QTest::newRow("the preferred size")
        << withThumbnails(QStringLiteral(R"(["t/a_64x64.jpg","t/a_256x256.jpg"])"))
        << QStringLiteral("/drive/thumbnails/presign?s3_key=t/a_256x256.jpg");
    QTest::newRow("an archived file")
        << withThumbnails(QStringLiteral("k"), StorageClass::glacier) << QString();
    QTest::newRow("no thumbnails") << driveFile(3, QStringLiteral("a")) << QString();
}

void TestDriveAPIItems::thumbnails()
{
    QFETCH(DriveFile, file);
    QFETCH(QString, path);

    DriveAPIHarness harness;
    // A relative address is used as it comes.
    harness.transport->enqueue(Reply::ok(R"({"url":"t/x.jpg?sig=a%2Bb"})"));
    const std::optional<QUrl> url = runAsync(harness.api.thumbnailURL(file));
    QCOMPARE(harness.requestCount(), path.isEmpty() ? 0 : 1);
    if (path.isEmpty()) {
        QCOMPARE(url, std::nullopt);
        return;
    }
    QCOMPARE(url, std::optional(QUrl(QStringLiteral("t/x.jpg?sig=a%2Bb"))));
    QCOMPARE(harness.sentPath(), path);
    QCOMPARE(harness.request().method, QByteArray("GET"));
}

void TestDriveAPIItems::downloadGrants()
{
    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok(R"({"url":"https://s.test/o?x=1","expires_in":300,
        "file_size":10.5,"content_hash":"","date_upload":1700000000})"));
    const DriveDownload grant =
        runAsync(harness.api.contentURL(driveFile(12, QStringLiteral("a"))));
    QCOMPARE(harness.sentPath(), QStringLiteral("/drive/files/12/download-url"));
    QCOMPARE(grant, (DriveDownload{QUrl(QStringLiteral("https://s.test/o?x=1")), 300, 11,
                                   std::nullopt, 1700000000}));

    // Archived content is refused before anything is sent.
    for (StorageClass storageClass : {StorageClass::glacier, StorageClass::archiving,
                                      StorageClass::unarchiving, StorageClass::restoring}) {
        const DriveFile archived = driveFile(12, QStringLiteral("a"),
                                             [&](DriveFile &f) { f.storageClass = storageClass; });
        NIMBAL_EXPECT_DRIVE_ERROR(runAsync(harness.api.contentURL(archived)),
                                  DriveError::archived());
    }
    QCOMPARE(harness.requestCount(), 1);
}

QTEST_GUILESS_MAIN(TestDriveAPIItems)
#include "test_drive_api_items.moc"
