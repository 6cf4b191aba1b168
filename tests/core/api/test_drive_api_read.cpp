// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the drive through DriveAPI: the requests each operation sends, the models it returns,
// and the failures it reports (the change feed's expired cursor above all).
#include "DriveAPIHarness.h"
#include "DriveErrorTesting.h"
#include "DriveModelsTesting.h"
#include "models/WireListings.h"

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using Reply = FakeTransport::Reply;

Q_DECLARE_METATYPE(OrvelanNimbal::DriveError)
Q_DECLARE_METATYPE(OrvelanNimbal::Testing::FakeTransport::Reply)

// A listing big enough to be decoded on a worker thread, without its closing bracket.
const QByteArray longListing =
    '['
    + QByteArray(R"({"id":1,"file_name":"a","content_hash":")" + QByteArray(100, 'f') + "\"},")
          .repeated(3000)
    + R"({"id":2,"file_name":"b"})";

class TestDriveAPIRead : public QObject {
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void failures_data();
    void failures();
};

void TestDriveAPIRead::reads_data()
{
    QTest::addColumn<Operation>("operation"); // checks what it returns
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("path");

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
    const auto add = [](const char *name, const Operation &operation, const QByteArray &answer,
                        const char *path) {
        QTest::newRow(name) << operation << answer << QString::fromLatin1(path);
    };
    const DriveFile a = driveFile(1, QStringLiteral("a"));
    const DriveFolder b = driveFolder(2, QStringLiteral("b"));

    add("changes", changes(-7, {9007199254740993, {b}, {a}}),
        R"({"cursor":9007199254740993,"files":[{"id":1,"file_name":"a"}],)"
        R"("folders":[{"id":2,"folder_name":"b"}]})",
        "/drive/changes?since=-7");
    add("top-level folders", folders(std::nullopt, {}), "[]", "/drive/folders");
    add("folders of 12", folders(12, {b}), R"([{"id":2,"folder_name":"b"}])",
        "/drive/folders?id_parent=12");
    add("top-level files", files(std::nullopt, {}), "[]", "/drive/files?limit=100000");
    add("files of 12", files(12, {a}), R"([{"id":1,"file_name":"a"}])",
        "/drive/files?limit=100000&id_folder=12");
    QVERIFY(longListing.size() > 256 * 1024);
    add("a long listing", files(std::nullopt, filesFromWireListing(longListing + ']')),
        longListing + ']', "/drive/files?limit=100000");
    add("quota", quota({250.5, 1002}, 0.25), R"({"quota_used":250.5,"quota_max":1002})",
        "/drive/quota");
    add("quota: nothing known", quota({}, 0), "{}", "/drive/quota");
    add("quota: over the maximum", quota({150, 100}, 1), R"({"quota_used":150,"quota_max":100})",
        "/drive/quota");
}

void TestDriveAPIRead::reads()
{
    QFETCH(Operation, operation);
    QFETCH(QByteArray, answer);
    QFETCH(QString, path);

    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok(answer));
    operation(harness.api);
    QCOMPARE(harness.requestCount(), 1);
    QCOMPARE(harness.sentPath(), path);
    QCOMPARE(harness.request().method, QByteArray("GET"));
    QCOMPARE(harness.request().body, QByteArray());
    QCOMPARE(harness.request().header("Content-Type"), std::nullopt);
    QCOMPARE(harness.request().header("Authorization"), std::optional(QByteArray("Bearer tok")));
}

void TestDriveAPIRead::failures_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<Reply>("reply"); // answers every attempt
    QTest::addColumn<DriveError>("expected");
    QTest::addColumn<int>("attempts");

    const Operation changes([](const DriveAPI &api) { runAsync(api.changes(7)); });
    const Operation files([](const DriveAPI &api) { runAsync(api.files(7)); });
    const Operation folders([](const DriveAPI &api) { runAsync(api.folders(std::nullopt)); });
    const auto add = [](const char *name, const Operation &operation, const Reply &reply,
                        const DriveError &expected, int attempts = 1) {
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
    add("folders: an object", folders, Reply::ok("{}"), unreadable("$ : tableau attendu"));
}

void TestDriveAPIRead::failures()
{
    QFETCH(Operation, operation);
    QFETCH(Reply, reply);
    QFETCH(DriveError, expected);
    QFETCH(int, attempts);

    DriveAPIHarness harness;
    harness.transport->setHandler([reply](const HttpRequest &) { return reply; });
    NIMBAL_EXPECT_DRIVE_ERROR(operation(harness.api), expected);
    QCOMPARE(harness.requestCount(), attempts);
}

QTEST_GUILESS_MAIN(TestDriveAPIRead)
#include "test_drive_api_read.moc"
