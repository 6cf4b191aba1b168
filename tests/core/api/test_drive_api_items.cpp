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
Q_DECLARE_METATYPE(OrvelanNimbal::Testing::FakeTransport::Reply)

class TestDriveAPIItems : public QObject {
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void answers_data();
    void answers();
};

void TestDriveAPIItems::requests_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("request"); // method and path; empty: nothing is sent
    QTest::addColumn<QByteArray>("body");

    // Every answer holds the id of a created folder, and an address with what a grant tells.
    const auto createFolder = [](const char *name, std::optional<qint64> parent) {
        return Operation([=](const DriveAPI &api) {
            QCOMPARE(runAsync(api.createFolder(QString::fromUtf8(name), parent)),
                     qint64(9007199254740993));
        });
    };
    const auto rename = [](const char *name) {
        return Operation(
            [=](const DriveAPI &api) { runAsync(api.renameFile(5, QString::fromUtf8(name))); });
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
    // Nothing is asked for an archived file.
    const auto thumbnail = [](const char *path,
                              StorageClass storageClass = StorageClass::standard) {
        const DriveFile file = driveFile(3, QStringLiteral("a.jpg"), [=](DriveFile &f) {
            if (*path)
                f.thumbnailPath = QString::fromUtf8(path);
            f.storageClass = storageClass;
        });
        const std::optional<QUrl> expected =
            *path && storageClass == StorageClass::standard
                ? std::optional(QUrl(QStringLiteral("https://s.test/t?sig=a%2Bb")))
                : std::nullopt;
        return Operation(
            [=](const DriveAPI &api) { QCOMPARE(runAsync(api.thumbnailURL(file)), expected); });
    };
    const auto download = [](StorageClass storageClass) {
        const DriveFile file = driveFile(12, QStringLiteral("a"),
                                         [=](DriveFile &f) { f.storageClass = storageClass; });
        return Operation([=](const DriveAPI &api) {
            if (storageClass != StorageClass::standard)
                NIMBAL_EXPECT_DRIVE_ERROR(runAsync(api.contentURL(file)), DriveError::archived());
            else
                QCOMPARE(runAsync(api.contentURL(file)),
                         (DriveDownload{QUrl(QStringLiteral("https://s.test/t?sig=a%2Bb")), 300, 11,
                                        std::nullopt, 1700000000}));
        });
    };
    const auto add = [](const char *name, const Operation &operation, const char *request,
                        const char *body) {
        QTest::newRow(name) << operation << QString::fromLatin1(request) << QByteArray(body);
    };
    const std::optional<QString> sameName, newName(QStringLiteral("B"));
    const std::optional<std::optional<qint64>> sameParent, toTheRoot(std::optional<qint64>{});

    add("folder at the top", createFolder("A", std::nullopt), "POST /drive/folders",
        R"({"folder_name":"A","id_parent":0})");
    add("folder in the largest id", createFolder("A", 9223372036854775807), "POST /drive/folders",
        R"({"folder_name":"A","id_parent":9223372036854775807})");
    add("rename: a bare JSON string", rename("x"), "PUT /drive/files/5/rename", R"("x")");
    add("rename: escapes, nothing trimmed", rename(" a\"b\\é/\n "), "PUT /drive/files/5/rename",
        R"(" a\"b\\é/\n ")");
    add("folder renamed", update(newName, sameParent), "PUT /drive/folders/9",
        R"({"folder_name":"B"})");
    add("folder moved to the root", update(sameName, toTheRoot), "PUT /drive/folders/9",
        R"({"parent_id":0})");
    add("folder renamed and moved", update(newName, std::optional<qint64>(4)),
        "PUT /drive/folders/9", R"({"folder_name":"B","parent_id":4})");
    add("folder update without a change", update(sameName, sameParent), "", "");
    add("files moved to the top", move({1, 2}, {}, std::nullopt), "POST /drive/move",
        R"({"file_ids":[1,2],"folder_ids":[],"target_folder_id":0})");
    add("64-bit ids moved", move({9007199254740993}, {-9223372036854775807}, 9007199254740995),
        "POST /drive/move",
        R"({"file_ids":[9007199254740993],"folder_ids":[-9223372036854775807],)"
        R"("target_folder_id":9007199254740995})");
    add("a move of nothing", move({}, {}, 3), "", "");
    add("trash", trash({1}, {}), "POST /drive/bulk-delete", R"({"file_ids":[1],"folder_ids":[]})");
    add("trash of nothing", trash({}, {}), "", "");
    add("thumbnail: what would end the value escaped, a query's other characters kept",
        thumbnail("a b&k+=?#%/é:@!$'()*,;~-._"),
        "GET /drive/thumbnails/presign?s3_key=a%20b%26k%2B%3D%3F%23%25/%C3%A9:@!$'()*,;~-._", "");
    add("thumbnail: the preferred size", thumbnail(R"(["t/a_64x64.jpg","t/a_256x256.jpg"])"),
        "GET /drive/thumbnails/presign?s3_key=t/a_256x256.jpg", "");
    add("thumbnail of an archived file", thumbnail("k", StorageClass::glacier), "", "");
    add("no thumbnails", thumbnail(""), "", "");
    add("download grant", download(StorageClass::standard), "GET /drive/files/12/download-url", "");
    add("download of archived content", download(StorageClass::restoring), "", "");
}

void TestDriveAPIItems::requests()
{
    QFETCH(Operation, operation);
    QFETCH(QString, request);
    QFETCH(QByteArray, body);

    DriveAPIHarness harness;
    harness.transport->enqueue(
        Reply::ok(R"({"id":9007199254740993,"url":"https://s.test/t?sig=a%2Bb",
        "expires_in":300,"file_size":10.5,"content_hash":"","date_upload":1700000000})"));
    operation(harness.api);
    QCOMPARE(harness.requestCount(), request.isEmpty() ? 0 : 1);
    if (request.isEmpty())
        return;
    const HttpRequest &sent = harness.request();
    QCOMPARE(QString::fromLatin1(sent.method) + u' ' + harness.sentPath(), request);
    QCOMPARE(sent.header("Content-Type"),
             body.isEmpty() ? std::nullopt : std::optional(QByteArray("application/json")));
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
    const auto add = [](const char *name, const Operation &operation, const Reply &reply,
                        const std::optional<DriveError> &expected) {
        QTest::newRow(name) << operation << reply << expected;
    };
    const auto unreadable = [](const char *description) {
        return DriveError::decoding(QString::fromUtf8(description));
    };
    add("answers to changes are not read", rename, Reply::ok("not JSON at all"), std::nullopt);
    add("an archived file", rename,
        Reply::withStatus(409, {}, {{QByteArray("X-Drive-Conflict"), QByteArray("archived")}}),
        DriveError::archived());
    add("gone", move, Reply::withStatus(404), DriveError::notFound());
    add("created folder without an id", createFolder, Reply::ok(R"({"folder_name":"A"})"),
        unreadable("$ : clé « id » absente"));
    add("created folder id as text", createFolder, Reply::ok(R"({"id":"12"})"),
        unreadable("$.id : entier attendu"));
    add("thumbnail address that does not parse", thumbnail, Reply::ok(R"({"url":"http://[::1"})"),
        unreadable("URL de miniature invalide"));
    add("no thumbnail address", thumbnail, Reply::ok("{}"), unreadable("$ : clé « url » absente"));
    add("a relative thumbnail address", thumbnail, Reply::ok(R"({"url":"t/x.jpg"})"), std::nullopt);
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

QTEST_GUILESS_MAIN(TestDriveAPIItems)
#include "test_drive_api_items.moc"
