// SPDX-License-Identifier: GPL-3.0-or-later
// Changing the tree and reaching content through DriveAPI: the exact requests, the requests
// that are not sent, the answers used and those ignored, and the thumbnail key's escaping.
#include "DriveAPIHarness.h"
#include "DriveErrorTesting.h"
#include "DriveModelsTesting.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using Reply = FakeTransport::Reply;

Q_DECLARE_METATYPE(OrvelanNimbal::DriveError)
Q_DECLARE_METATYPE(OrvelanNimbal::Testing::FakeTransport::Reply)
Q_DECLARE_METATYPE(std::optional<QUrl>)

class TestDriveAPIItems : public QObject {
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void idsKeepAll64Bits();
    void nothingToChangeSendsNothing_data();
    void nothingToChangeSendsNothing();
    void createdFolderID_data();
    void createdFolderID();
    void failuresPassThrough_data();
    void failuresPassThrough();
    void thumbnails_data();
    void thumbnails();
    void downloadGrants();
};

namespace {

std::optional<std::optional<qint64>> toTheRoot()
{
    return std::optional<qint64>();
}

} // namespace

void TestDriveAPIItems::requests_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body"); // compared as JSON when an object, else byte for byte

    const auto createFolder = [](QString name, std::optional<qint64> parent) {
        return Operation([=](const DriveAPI &api) { runAsync(api.createFolder(name, parent)); });
    };
    const auto rename = [](qint64 id, QString name) {
        return Operation([=](const DriveAPI &api) { runAsync(api.renameFile(id, name)); });
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

    QTest::newRow("folder at the top")
        << createFolder(QStringLiteral("A"), std::nullopt) << QByteArray("POST")
        << QStringLiteral("/drive/folders") << QByteArray(R"({"folder_name":"A","id_parent":0})");
    QTest::newRow("rename: a bare JSON string")
        << rename(5, QStringLiteral("x")) << QByteArray("PUT")
        << QStringLiteral("/drive/files/5/rename") << QByteArray(R"("x")");
    QTest::newRow("rename: escapes, nothing trimmed")
        << rename(5, QStringLiteral(" a\"b\\é/\n ")) << QByteArray("PUT")
        << QStringLiteral("/drive/files/5/rename") << QByteArray(R"(" a\"b\\é/\n ")");
    QTest::newRow("folder renamed")
        << update(QStringLiteral("B"), std::nullopt) << QByteArray("PUT")
        << QStringLiteral("/drive/folders/9") << QByteArray(R"({"folder_name":"B"})");
    QTest::newRow("folder moved to the root")
        << update(std::nullopt, toTheRoot()) << QByteArray("PUT")
        << QStringLiteral("/drive/folders/9") << QByteArray(R"({"parent_id":0})");
    QTest::newRow("folder renamed and moved")
        << update(QStringLiteral("B"), std::optional<qint64>(4)) << QByteArray("PUT")
        << QStringLiteral("/drive/folders/9") << QByteArray(R"({"folder_name":"B","parent_id":4})");
    QTest::newRow("files moved to the top")
        << move({1, 2}, {}, std::nullopt) << QByteArray("POST") << QStringLiteral("/drive/move")
        << QByteArray(R"({"file_ids":[1,2],"folder_ids":[],"target_folder_id":0})");
    QTest::newRow("trash") << trash({1}, {}) << QByteArray("POST")
                           << QStringLiteral("/drive/bulk-delete")
                           << QByteArray(R"({"file_ids":[1],"folder_ids":[]})");
}

void TestDriveAPIItems::requests()
{
    QFETCH(Operation, operation);
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);

    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok(R"({"id":1})"));
    operation(harness.api);
    QCOMPARE(harness.requestCount(), 1);
    const HttpRequest &sent = harness.request();
    QCOMPARE(sent.method, method);
    QCOMPARE(harness.sentPath(), path);
    QCOMPARE(sent.header("Content-Type"), std::optional(QByteArray("application/json")));
    QCOMPARE(sent.header("Authorization"), std::optional(QByteArray("Bearer tok")));
    if (body.startsWith('{'))
        QCOMPARE(QJsonDocument::fromJson(sent.body).object(),
                 QJsonDocument::fromJson(body).object());
    else
        QCOMPARE(sent.body, body);
}

void TestDriveAPIItems::idsKeepAll64Bits()
{
    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok());
    harness.transport->enqueue(Reply::ok(R"({"id":1})"));
    runAsync(harness.api.move({9007199254740993}, {-9223372036854775807}, 9007199254740995));
    runAsync(harness.api.createFolder(QStringLiteral("A"), 9223372036854775807));
    QCOMPARE(harness.request(0).body, QByteArray(R"({"file_ids":[9007199254740993],)"
                                                 R"("folder_ids":[-9223372036854775807],)"
                                                 R"("target_folder_id":9007199254740995})"));
    QCOMPARE(harness.request(1).body,
             QByteArray(R"({"folder_name":"A","id_parent":9223372036854775807})"));
}

void TestDriveAPIItems::nothingToChangeSendsNothing_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::newRow("folder update without a change") << Operation(
        [](const DriveAPI &api) { runAsync(api.updateFolder(9, std::nullopt, std::nullopt)); });
    QTest::newRow("move of nothing")
        << Operation([](const DriveAPI &api) { runAsync(api.move({}, {}, 3)); });
    QTest::newRow("trash of nothing")
        << Operation([](const DriveAPI &api) { runAsync(api.trash({}, {})); });
}

void TestDriveAPIItems::nothingToChangeSendsNothing()
{
    QFETCH(Operation, operation);
    DriveAPIHarness harness;
    operation(harness.api);
    QCOMPARE(harness.requestCount(), 0);
}

void TestDriveAPIItems::createdFolderID_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<qint64>("id");
    QTest::addColumn<QString>("failure");
    QTest::newRow("64-bit id") << QByteArray(R"({"id":9007199254740993,"folder_name":"A"})")
                               << qint64(9007199254740993) << QString();
    QTest::newRow("no id") << QByteArray(R"({"folder_name":"A"})") << qint64(0)
                           << QStringLiteral("$ : clé « id » absente");
    QTest::newRow("id as text") << QByteArray(R"({"id":"12"})") << qint64(0)
                                << QStringLiteral("$.id : entier attendu");
}

void TestDriveAPIItems::createdFolderID()
{
    QFETCH(QByteArray, answer);
    QFETCH(qint64, id);
    QFETCH(QString, failure);
    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok(answer));
    if (failure.isEmpty())
        QCOMPARE(runAsync(harness.api.createFolder(QStringLiteral("A"), std::nullopt)), id);
    else
        NIMBAL_EXPECT_DRIVE_ERROR(runAsync(harness.api.createFolder(QStringLiteral("A"), 3)),
                                  DriveError::decoding(failure));
}

void TestDriveAPIItems::failuresPassThrough_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<std::optional<DriveError>>("expected");

    const Operation rename(
        [](const DriveAPI &api) { runAsync(api.renameFile(5, QStringLiteral("b"))); });
    const Operation move([](const DriveAPI &api) { runAsync(api.move({1}, {}, 2)); });
    QTest::newRow("answers to changes are not read")
        << rename << Reply::ok("not JSON at all") << std::optional<DriveError>();
    QTest::newRow("an archived file")
        << rename
        << Reply::withStatus(409, {}, {{QByteArray("X-Drive-Conflict"), QByteArray("archived")}})
        << std::optional(DriveError::archived());
    QTest::newRow("gone") << move << Reply::withStatus(404)
                          << std::optional(DriveError::notFound());
}

void TestDriveAPIItems::failuresPassThrough()
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
    QTest::addColumn<QString>("path"); // empty: no request
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<std::optional<QUrl>>("url");
    QTest::addColumn<QString>("failure");

    const auto withThumbnails = [](QString path,
                                   StorageClass storageClass = StorageClass::standard) {
        return driveFile(3, QStringLiteral("a.jpg"), [=](DriveFile &f) {
            f.thumbnailPath = path;
            f.storageClass = storageClass;
        });
    };
    const QByteArray presigned(R"({"url":"https://cdn.test/t/x.jpg?sig=a%2Bb"})");
    const std::optional<QUrl> cdn(QUrl(QStringLiteral("https://cdn.test/t/x.jpg?sig=a%2Bb")));

    QTest::newRow("space and ampersand escaped")
        << withThumbnails(QStringLiteral("a b&c.jpg"))
        << QStringLiteral("/drive/thumbnails/presign?s3_key=a%20b%26c.jpg") << presigned << cdn
        << QString();
    QTest::newRow("what would end the value is escaped, the rest of a query's characters kept")
        << withThumbnails(QStringLiteral("k+=?#%/é:@!$'()*,;~-._"))
        << QStringLiteral("/drive/thumbnails/presign?s3_key=k%2B%3D%3F%23%25/%C3%A9:@!$'()*,;~-._")
        << presigned << cdn << QString();
    QTest::newRow("the preferred size")
        << withThumbnails(QStringLiteral(R"(["t/a_64x64.jpg","t/a_256x256.jpg"])"))
        << QStringLiteral("/drive/thumbnails/presign?s3_key=t/a_256x256.jpg") << presigned << cdn
        << QString();
    QTest::newRow("no scheme needed")
        << withThumbnails(QStringLiteral("k"))
        << QStringLiteral("/drive/thumbnails/presign?s3_key=k")
        << QByteArray(R"({"url":"t/x.jpg"})") << std::optional(QUrl(QStringLiteral("t/x.jpg")))
        << QString();
    QTest::newRow("an archived file: nothing asked")
        << withThumbnails(QStringLiteral("k"), StorageClass::glacier) << QString() << QByteArray()
        << std::optional<QUrl>() << QString();
    QTest::newRow("no thumbnails: nothing asked")
        << driveFile(3, QStringLiteral("a")) << QString() << QByteArray() << std::optional<QUrl>()
        << QString();
    QTest::newRow("an address that does not parse")
        << withThumbnails(QStringLiteral("k"))
        << QStringLiteral("/drive/thumbnails/presign?s3_key=k")
        << QByteArray(R"({"url":"http://[::1"})") << std::optional<QUrl>()
        << QStringLiteral("URL de miniature invalide");
    QTest::newRow("no address") << withThumbnails(QStringLiteral("k"))
                                << QStringLiteral("/drive/thumbnails/presign?s3_key=k")
                                << QByteArray("{}") << std::optional<QUrl>()
                                << QStringLiteral("$ : clé « url » absente");
}

void TestDriveAPIItems::thumbnails()
{
    QFETCH(DriveFile, file);
    QFETCH(QString, path);
    QFETCH(QByteArray, answer);
    QFETCH(std::optional<QUrl>, url);
    QFETCH(QString, failure);

    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok(answer));
    if (failure.isEmpty())
        QCOMPARE(runAsync(harness.api.thumbnailURL(file)), url);
    else
        NIMBAL_EXPECT_DRIVE_ERROR(runAsync(harness.api.thumbnailURL(file)),
                                  DriveError::decoding(failure));
    QCOMPARE(harness.requestCount(), path.isEmpty() ? 0 : 1);
    if (!path.isEmpty()) {
        QCOMPARE(harness.sentPath(), path);
        QCOMPARE(harness.request().method, QByteArray("GET"));
    }
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
