// SPDX-License-Identifier: GPL-3.0-or-later
// DriveAPI over a scripted transport: the exact request each operation sends (or that it sends
// none), the models it makes of the answer, and the answers it refuses or need not read.
#include "DriveAPIHarness.h"
#include "DriveErrorTesting.h"
#include "DriveModelsTesting.h"
#include "models/WireListings.h"

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using Reply = FakeTransport::Reply;

namespace {

// What the item operations are answered: the id of a created folder, and an address with what
// a download grant tells.
const QByteArray itemAnswer = R"({"id":9007199254740993,"url":"https://s.test/t?sig=a%2Bb",
    "expires_in":300,"file_size":10.5,"content_hash":"","date_upload":1700000000})";

// A listing big enough to be decoded on a worker thread, without its closing bracket.
const QByteArray longListing =
    '['
    + QByteArray(R"({"id":1,"file_name":"a","content_hash":")" + QByteArray(100, 'f') + "\"},")
          .repeated(3000)
    + R"({"id":2,"file_name":"b"})";

} // namespace

class TestDriveAPI : public QObject {
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void answers_data();
    void answers();
};

void TestDriveAPI::requests_data()
{
    QTest::addColumn<Operation>("operation"); // checks what it returns
    QTest::addColumn<QString>("request");     // method and path; empty: nothing is sent
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("answer");

    const auto changes = [](qint64 since, DriveChanges expected) {
        return Operation(
            [=](const DriveAPI &api) { QCOMPARE(runAsync(api.changes(since)), expected); });
    };
    const auto files = [](std::optional<qint64> folder, std::vector<DriveFile> expected) {
        return Operation(
            [=](const DriveAPI &api) { QCOMPARE(runAsync(api.files(folder)), expected); });
    };
    const auto folders = [](std::optional<qint64> parent, std::vector<DriveFolder> expected) {
        return Operation(
            [=](const DriveAPI &api) { QCOMPARE(runAsync(api.folders(parent)), expected); });
    };
    const auto quota = [](DriveQuota expected, double fraction) {
        return Operation([=](const DriveAPI &api) {
            const DriveQuota quota = runAsync(api.quota());
            QCOMPARE(quota, expected);
            QCOMPARE(quota.fraction(), fraction);
        });
    };
    const auto createFolder = [](std::optional<qint64> parent) {
        return Operation([=](const DriveAPI &api) {
            QCOMPARE(runAsync(api.createFolder(QStringLiteral("A"), parent)),
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
    const Operation download([](const DriveAPI &api) {
        QCOMPARE(runAsync(api.contentURL(driveFile(12, QStringLiteral("a")))),
                 (DriveDownload{QUrl(QStringLiteral("https://s.test/t?sig=a%2Bb")), 300, 11,
                                std::nullopt, 1700000000}));
    });
    const auto add = [](const char *name, const Operation &operation, const char *request,
                        const char *body, const QByteArray &answer = itemAnswer) {
        QTest::newRow(name) << operation << QString::fromLatin1(request) << QByteArray(body)
                            << answer;
    };
    const DriveFile a = driveFile(1, QStringLiteral("a"));
    const DriveFolder b = driveFolder(2, QStringLiteral("b"));
    const std::optional<QString> sameName, newName(QStringLiteral("B"));
    const std::optional<std::optional<qint64>> sameParent, toTheRoot(std::optional<qint64>{});

    add("changes", changes(-7, {9007199254740993, {b}, {a}}), "GET /drive/changes?since=-7", "",
        R"({"cursor":9007199254740993,"files":[{"id":1,"file_name":"a"}],)"
        R"("folders":[{"id":2,"folder_name":"b"}]})");
    add("top-level folders", folders(std::nullopt, {}), "GET /drive/folders", "", "[]");
    add("folders of 12", folders(12, {b}), "GET /drive/folders?id_parent=12", "",
        R"([{"id":2,"folder_name":"b"}])");
    add("files of 12", files(12, {a}), "GET /drive/files?limit=100000&id_folder=12", "",
        R"([{"id":1,"file_name":"a"}])");
    QVERIFY(longListing.size() > 256 * 1024);
    add("top-level files, a long listing",
        files(std::nullopt, filesFromWireListing(longListing + ']')),
        "GET /drive/files?limit=100000", "", longListing + ']');
    add("quota", quota({250.5, 1002}, 0.25), "GET /drive/quota", "",
        R"({"quota_used":250.5,"quota_max":1002})");
    add("quota: nothing known", quota({}, 0), "GET /drive/quota", "", "{}");
    add("quota: over the maximum", quota({150, 100}, 1), "GET /drive/quota", "",
        R"({"quota_used":150,"quota_max":100})");

    add("folder at the top", createFolder(std::nullopt), "POST /drive/folders",
        R"({"folder_name":"A","id_parent":0})");
    add("folder in the largest id", createFolder(9223372036854775807), "POST /drive/folders",
        R"({"folder_name":"A","id_parent":9223372036854775807})");
    add("rename: a bare JSON string, escaped, nothing trimmed", rename(" a\"b\\é/\n "),
        "PUT /drive/files/5/rename", R"(" a\"b\\é/\n ")");
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
    add("download grant", download, "GET /drive/files/12/download-url", "");
}

void TestDriveAPI::requests()
{
    QFETCH(Operation, operation);
    QFETCH(QString, request);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, answer);

    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok(answer));
    operation(harness.api);
    QCOMPARE(harness.requestCount(), request.isEmpty() ? 0 : 1);
    if (request.isEmpty())
        return;
    const HttpRequest &sent = harness.request();
    QCOMPARE(QString::fromLatin1(sent.method) + u' ' + harness.sentPath(), request);
    QCOMPARE(sent.header("Content-Type"),
             body.isEmpty() ? std::nullopt : std::optional(QByteArray("application/json")));
    QCOMPARE(sent.header("Authorization"), std::optional(QByteArray("Bearer tok")));
    QCOMPARE(sent.body.toByteArray(), body);
}

void TestDriveAPI::answers_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<Reply>("reply"); // answers every attempt
    QTest::addColumn<std::optional<DriveError>>("expected");
    QTest::addColumn<int>("attempts");

    const Operation changes([](const DriveAPI &api) { runAsync(api.changes(7)); });
    const Operation files([](const DriveAPI &api) { runAsync(api.files(7)); });
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
    const Operation archivedDownload([](const DriveAPI &api) {
        runAsync(api.contentURL(driveFile(12, QStringLiteral("a"), [](DriveFile &f) {
            f.storageClass = StorageClass::restoring;
        })));
    });
    const auto add = [](const char *name, const Operation &operation, const Reply &reply,
                        const std::optional<DriveError> &expected, int attempts = 1) {
        QTest::newRow(name) << operation << reply << expected << attempts;
    };
    const auto unreadable = [](const char *description) {
        return DriveError::decoding(QString::fromUtf8(description));
    };
    add("feed: 410 is an expired cursor, not retried", changes, Reply::withStatus(410, "gone"),
        DriveError::cursorExpired());
    add("feed: 404 is not an expired cursor", changes, Reply::withStatus(404),
        DriveError::notFound());
    add("feed: 503 is retried", changes, Reply::withStatus(503, "busy"),
        DriveError::http(503, QStringLiteral("busy")), 3);
    add("files: 410 stays an HTTP error", files, Reply::withStatus(410, "gone"),
        DriveError::http(410, QStringLiteral("gone")));
    add("files: an object", files, Reply::ok(R"({"files":[]})"), unreadable("$ : tableau attendu"));
    add("files: one without a name fails them all", files,
        Reply::ok(R"([{"id":1,"file_name":"a"},{"id":2}])"),
        unreadable("$[1] : clé « file_name » absente"));
    add("files: the same in a long listing", files, Reply::ok(longListing + R"(,{"id":-1}])"),
        unreadable("$[3001] : clé « file_name » absente"));
    add("rename: the answer is not read", rename, Reply::ok("not JSON at all"), std::nullopt);
    add("rename: an archived file", rename,
        Reply::withStatus(409, {}, {{QByteArray("X-Drive-Conflict"), QByteArray("archived")}}),
        DriveError::archived());
    add("move: gone", move, Reply::withStatus(404), DriveError::notFound());
    add("created folder without an id", createFolder, Reply::ok(R"({"folder_name":"A"})"),
        unreadable("$ : clé « id » absente"));
    add("created folder id as text", createFolder, Reply::ok(R"({"id":"12"})"),
        unreadable("$.id : entier attendu"));
    add("thumbnail address that does not parse", thumbnail, Reply::ok(R"({"url":"http://[::1"})"),
        unreadable("URL de miniature invalide"));
    add("no thumbnail address", thumbnail, Reply::ok("{}"), unreadable("$ : clé « url » absente"));
    add("download of archived content: nothing asked", archivedDownload, Reply::ok(),
        DriveError::archived(), 0);
    add("a relative thumbnail address", thumbnail, Reply::ok(R"({"url":"t/x.jpg"})"), std::nullopt);
}

void TestDriveAPI::answers()
{
    QFETCH(Operation, operation);
    QFETCH(Reply, reply);
    QFETCH(std::optional<DriveError>, expected);
    QFETCH(int, attempts);

    DriveAPIHarness harness;
    harness.transport->setHandler([reply](const HttpRequest &) { return reply; });
    if (expected)
        NIMBAL_EXPECT_DRIVE_ERROR(operation(harness.api), *expected);
    else
        operation(harness.api);
    QCOMPARE(harness.requestCount(), attempts);
}

QTEST_GUILESS_MAIN(TestDriveAPI)
#include "test_drive_api.moc"
