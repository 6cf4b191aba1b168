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

class TestDriveAPIRead : public QObject {
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void changeFeed();
    void failures_data();
    void failures();
    void listings();
    void listingsThatDoNotRead_data();
    void listingsThatDoNotRead();
    void longListingsReadAwayFromTheMainThread();
    void quota_data();
    void quota();
};

void TestDriveAPIRead::requests_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("path");

    const auto changes = [](qint64 since) {
        return Operation([since](const DriveAPI &api) { runAsync(api.changes(since)); });
    };
    const auto folders = [](std::optional<qint64> parent) {
        return Operation([parent](const DriveAPI &api) { runAsync(api.folders(parent)); });
    };
    const auto files = [](std::optional<qint64> folder) {
        return Operation([folder](const DriveAPI &api) { runAsync(api.files(folder)); });
    };
    QTest::newRow("changes since 0")
        << changes(0) << QByteArray("{}") << QStringLiteral("/drive/changes?since=0");
    QTest::newRow("changes since a negative cursor")
        << changes(-7) << QByteArray("{}") << QStringLiteral("/drive/changes?since=-7");
    QTest::newRow("top-level folders")
        << folders(std::nullopt) << QByteArray("[]") << QStringLiteral("/drive/folders");
    QTest::newRow("folders of 12")
        << folders(12) << QByteArray("[]") << QStringLiteral("/drive/folders?id_parent=12");
    QTest::newRow("top-level files")
        << files(std::nullopt) << QByteArray("[]") << QStringLiteral("/drive/files?limit=100000");
    QTest::newRow("files of 12") << files(12) << QByteArray("[]")
                                 << QStringLiteral("/drive/files?limit=100000&id_folder=12");
    QTest::newRow("files of -1, not checked")
        << files(-1) << QByteArray("[]")
        << QStringLiteral("/drive/files?limit=100000&id_folder=-1");
    QTest::newRow("quota") << Operation([](const DriveAPI &api) { runAsync(api.quota()); })
                           << QByteArray("{}") << QStringLiteral("/drive/quota");
}

void TestDriveAPIRead::requests()
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

void TestDriveAPIRead::changeFeed()
{
    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok(R"({"cursor":42,
        "files":[{"id":5,"file_name":"b","storage_class":"glacier"},{"id":4,"file_name":"a","to_delete":1}],
        "folders":[{"id":3,"folder_name":"d","id_parent":0}]})"));
    const DriveChanges changes = runAsync(harness.api.changes(41));
    const DriveChanges expected{
        42,
        {driveFolder(3, QStringLiteral("d"))},
        {driveFile(5, QStringLiteral("b"),
                   [](DriveFile &f) { f.storageClass = StorageClass::glacier; }),
         driveFile(4, QStringLiteral("a"), [](DriveFile &f) { f.isTrashed = true; })}};
    QVERIFY(changes == expected);
}

void TestDriveAPIRead::failures_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<Reply>("reply"); // answers every attempt
    QTest::addColumn<DriveError>("expected");
    QTest::addColumn<int>("attempts");

    const Operation changes([](const DriveAPI &api) { runAsync(api.changes(7)); });
    const Operation files([](const DriveAPI &api) { runAsync(api.files(7)); });
    const Operation quota([](const DriveAPI &api) { runAsync(api.quota()); });
    QTest::newRow("feed: 410 is an expired cursor, not retried")
        << changes << Reply::withStatus(410, "gone") << DriveError::cursorExpired() << 1;
    QTest::newRow("feed: 404 is not an expired cursor")
        << changes << Reply::withStatus(404) << DriveError::notFound() << 1;
    QTest::newRow("feed: 503 is retried") << changes << Reply::withStatus(503, "busy")
                                          << DriveError::http(503, QStringLiteral("busy")) << 3;
    QTest::newRow("feed: transport failures are retried")
        << changes << Reply::error(DriveError::transport(QStringLiteral("x")))
        << DriveError::transport(QStringLiteral("x")) << 3;
    QTest::newRow("listing: 410 stays an HTTP error")
        << files << Reply::withStatus(410, "gone") << DriveError::http(410, QStringLiteral("gone"))
        << 1;
    QTest::newRow("quota: not JSON")
        << quota << Reply::ok("<html></html>")
        << DriveError::decoding(QStringLiteral(
               "$ : JSON invalide (The JSON document has an improper structure: missing or "
               "superfluous commas, braces, missing keys, etc.)"))
        << 1;
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

void TestDriveAPIRead::listings()
{
    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok(R"([{"id":2,"file_name":"b","id_folder":12},
        {"id":1,"file_name":"a","id_folder":12,"storage_class":"archiving","to_delete":1}])"));
    harness.transport->enqueue(Reply::ok(R"([{"id":13,"folder_name":"x","id_parent":12}])"));

    // In the service's order, trashed and archived files included.
    const std::vector<DriveFile> files = runAsync(harness.api.files(12));
    const std::vector<DriveFile> expectedFiles{
        driveFile(2, QStringLiteral("b"), [](DriveFile &f) { f.parentFolderID = 12; }),
        driveFile(1, QStringLiteral("a"), [](DriveFile &f) {
            f.parentFolderID = 12;
            f.storageClass = StorageClass::archiving;
            f.isTrashed = true;
        })};
    QCOMPARE(files, expectedFiles);

    const std::vector<DriveFolder> folders = runAsync(harness.api.folders(12));
    const std::vector<DriveFolder> expectedFolders{
        driveFolder(13, QStringLiteral("x"), [](DriveFolder &f) { f.parentFolderID = 12; })};
    QCOMPARE(folders, expectedFolders);
}

void TestDriveAPIRead::listingsThatDoNotRead_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("description");

    const Operation files([](const DriveAPI &api) { runAsync(api.files(std::nullopt)); });
    const Operation folders([](const DriveAPI &api) { runAsync(api.folders(std::nullopt)); });
    QTest::newRow("files: an object")
        << files << QByteArray(R"({"files":[]})") << QStringLiteral("$ : tableau attendu");
    QTest::newRow("files: one without a name fails them all")
        << files << QByteArray(R"([{"id":1,"file_name":"a"},{"id":2}])")
        << QStringLiteral("$[1] : clé « file_name » absente");
    QTest::newRow("folders: an object")
        << folders << QByteArray("{}") << QStringLiteral("$ : tableau attendu");
}

void TestDriveAPIRead::listingsThatDoNotRead()
{
    QFETCH(Operation, operation);
    QFETCH(QByteArray, answer);
    QFETCH(QString, description);
    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok(answer));
    NIMBAL_EXPECT_DRIVE_ERROR(operation(harness.api), DriveError::decoding(description));
}

void TestDriveAPIRead::longListingsReadAwayFromTheMainThread()
{
    // Big enough to be decoded on a worker thread; the result and the failure come back alike.
    QByteArray listing = "[";
    for (int i = 0; i < 5000; ++i) {
        listing += (i ? "," : "")
                   + QStringLiteral(R"({"id":%1,"file_name":"file %1.txt",)"
                                    R"("content_hash":"%2","date_upload":%3})")
                         .arg(i)
                         .arg(QString(64, u'a'))
                         .arg(1600000000 + i)
                         .toUtf8();
    }
    QVERIFY(listing.size() > 256 * 1024);
    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok(listing + "]"));
    harness.transport->enqueue(Reply::ok(listing + R"(,{"id":-1}])"));

    const std::vector<DriveFile> files = runAsync(harness.api.files(std::nullopt));
    QCOMPARE(files.size(), size_t(5000));
    QCOMPARE(files, filesFromWireListing(listing + "]"));
    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(harness.api.files(std::nullopt)),
        DriveError::decoding(QStringLiteral("$[5000] : clé « file_name » absente")));
}

void TestDriveAPIRead::quota_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<double>("used");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("fraction");
    QTest::newRow("empty answer") << QByteArray("{}") << 0.0 << 0.0 << 0.0;
    QTest::newRow("a quarter") << QByteArray(R"({"quota_used":250.5,"quota_max":1002})") << 250.5
                               << 1002.0 << 0.25;
    QTest::newRow("over the maximum")
        << QByteArray(R"({"quota_used":150,"quota_max":100})") << 150.0 << 100.0 << 1.0;
}

void TestDriveAPIRead::quota()
{
    QFETCH(QByteArray, answer);
    QFETCH(double, used);
    QFETCH(double, maximum);
    QFETCH(double, fraction);
    DriveAPIHarness harness;
    harness.transport->enqueue(Reply::ok(answer));
    const DriveQuota quota = runAsync(harness.api.quota());
    QCOMPARE(quota, (DriveQuota{used, maximum}));
    QCOMPARE(quota.fraction(), fraction);
}

QTEST_GUILESS_MAIN(TestDriveAPIRead)
#include "test_drive_api_read.moc"
