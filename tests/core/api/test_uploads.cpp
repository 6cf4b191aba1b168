// SPDX-License-Identifier: GPL-3.0-or-later
// Uploads that succeed: which path a content takes, and the exact requests of each step.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "FakeUploadService.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <limits>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

using OptionalID = std::optional<qint64>;
using Sizes = QList<qint64>;
Q_DECLARE_METATYPE(OptionalID)
Q_DECLARE_METATYPE(OrvelanNimbal::ReplacePrecondition)
Q_DECLARE_METATYPE(OrvelanNimbal::DriveFile)
Q_DECLARE_METATYPE(OrvelanNimbal::Testing::FakeTransport::Reply)

namespace {

const QString localHash = QStringLiteral("localhash");

// "open presign part" → {"open", "presign", "part"}
QStringList names(const char *spaced)
{
    return QString::fromLatin1(spaced).split(u' ', Qt::SkipEmptyParts);
}

QJsonObject object(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

// The parts of an upload as the finish must list them: the fake storage's quoted ETags.
QJsonArray etagParts(int count)
{
    QJsonArray parts;
    for (int number = 1; number <= count; ++number)
        parts.append(
            QJsonObject{{QStringLiteral("PartNumber"), number},
                        {QStringLiteral("ETag"), QStringLiteral("\"etag-%1\"").arg(number)}});
    return parts;
}

// The form a direct upload must send, with "@@" standing for the boundary of the request.
QByteArray expectedForm(QByteArray layout, const QByteArray &data, const QByteArray &boundary)
{
    layout.replace("@@", boundary);
    return layout.replace("<data>", data);
}

DriveFile existingFile()
{
    DriveFile file;
    file.id = 77;
    file.parentFolderID = 5;
    file.name = QStringLiteral("Plan.pdf");
    file.storageKey = QStringLiteral("old/key");
    file.size = 100;
    file.contentHash = QStringLiteral("oldhash");
    file.modifiedAt = QDateTime::fromSecsSinceEpoch(1500000000, QTimeZone::utc());
    file.isTrashed = true;
    file.storageClass = StorageClass::glacier;
    file.thumbnailPath = QStringLiteral("x_64x64.jpg");
    file.uploadTimestamp = 1600000000;
    return file;
}

} // namespace

class TestUploads : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void partSize_data();
    void partSize();
    void directCreate_data();
    void directCreate();
    void directReplaceForm_data();
    void directReplaceForm();
    void sizeDecidesThePath_data();
    void sizeDecidesThePath();
    void multipartCreateRequests();
    void tooLargeGoesInParts_data();
    void tooLargeGoesInParts();
    void multipartCreateStorageKey_data();
    void multipartCreateStorageKey();
    void multipartReplaceFinish_data();
    void multipartReplaceFinish();
    void replaceAnswerMerge_data();
    void replaceAnswerMerge();
    void createKeepsLocalValuesWithoutGrant_data();
    void createKeepsLocalValuesWithoutGrant();
    void grownFileSendsThePlannedBytes_data();
    void grownFileSendsThePlannedBytes();

private:
    DriveAPI::LocalContent content(const QByteArray &bytes, qint64 declaredSize = -1);

    QTemporaryDir m_dir;
    int m_files = 0;
};

DriveAPI::LocalContent TestUploads::content(const QByteArray &bytes, qint64 declaredSize)
{
    QFile file(m_dir.filePath(QString::number(++m_files)));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the test file");
    return {QUrl::fromLocalFile(file.fileName()), declaredSize < 0 ? bytes.size() : declaredSize,
            localHash, QStringLiteral("text/plain")};
}

void TestUploads::partSize_data()
{
    QTest::addColumn<qint64>("contentSize");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("empty") << qint64(0) << qint64(8388608);
    QTest::newRow("negative") << qint64(-1) << qint64(8388608);
    QTest::newRow("just over the direct limit") << qint64(16777217) << qint64(8388608);
    QTest::newRow("10000 parts of 8 MiB") << qint64(83886080000) << qint64(8388608);
    QTest::newRow("one byte more") << qint64(83886080001) << qint64(8388609);
    QTest::newRow("divides evenly") << qint64(83886090000) << qint64(8388609);
    QTest::newRow("largest size") << std::numeric_limits<qint64>::max() << qint64(922337203685478);
}

void TestUploads::partSize()
{
    QFETCH(qint64, contentSize);
    QFETCH(qint64, expected);
    QCOMPARE(DriveAPI::partSize(contentSize), expected);
}

void TestUploads::directCreate_data()
{
    QTest::addColumn<OptionalID>("parentID");
    QTest::addColumn<QByteArray>("folderField");
    QTest::newRow("in a folder") << OptionalID(12) << QByteArray("12");
    QTest::newRow("at the root") << OptionalID() << QByteArray("0");
}

void TestUploads::directCreate()
{
    QFETCH(OptionalID, parentID);
    QFETCH(QByteArray, folderField);

    FakeUploadService service;
    QList<qint64> progress;
    const DriveFile created = runAsync(
        service.api().createFile(QStringLiteral("Été \"1\".txt"), parentID, content("hello"),
                                 [&](qint64 sent) { progress.append(sent); }));

    QCOMPARE(service.steps(), names("directCreate grant"));
    const HttpRequest request = service.requests(QStringLiteral("directCreate")).first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.url.toString(), QStringLiteral("https://api.test/api/v1/drive/upload/file"));
    QCOMPARE(request.header("Authorization"), QByteArray("Bearer tok"));
    const QByteArray boundary = FakeUploadService::boundary(request);
    QVERIFY2(QRegularExpression(QStringLiteral("^orvelan-[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-"
                                               "[89AB][0-9A-F]{3}-[0-9A-F]{12}$"))
                 .match(QString::fromLatin1(boundary))
                 .hasMatch(),
             boundary.constData());
    const QByteArray layout = "--@@\r\n"
                              "Content-Disposition: form-data; name=\"file\"; "
                              "filename=\"\xc3\x89t\xc3\xa9 \"1\".txt\"\r\n"
                              "Content-Type: text/plain\r\n"
                              "\r\n"
                              "<data>\r\n"
                              "--@@\r\n"
                              "Content-Disposition: form-data; name=\"id_folder\"\r\n"
                              "\r\n"
                              "<folder>\r\n"
                              "--@@\r\n"
                              "Content-Disposition: form-data; name=\"storage_class\"\r\n"
                              "\r\n"
                              "standard\r\n"
                              "--@@\r\n"
                              "Content-Disposition: form-data; name=\"content_hash\"\r\n"
                              "\r\n"
                              "localhash\r\n"
                              "--@@--\r\n";
    QCOMPARE(request.body,
             expectedForm(QByteArray(layout).replace("<folder>", folderField), "hello", boundary));
    QCOMPARE(progress, QList<qint64>({5}));

    // The grant's hash and upload time replace the local ones; the rest is the local file's.
    DriveFile expected;
    expected.id = 501;
    expected.parentFolderID = parentID;
    expected.name = QStringLiteral("Été \"1\".txt");
    expected.storageKey = QStringLiteral("k/direct");
    expected.size = 5;
    expected.contentHash = QStringLiteral("srvhash");
    expected.modifiedAt = service.clock->currentDateTime();
    expected.thumbnailPath = QStringLiteral("t_256x256.jpg");
    expected.uploadTimestamp = 1700000000;
    QVERIFY(created == expected);
}

void TestUploads::directReplaceForm_data()
{
    QTest::addColumn<ReplacePrecondition>("precondition");
    QTest::addColumn<QByteArray>("fields");

    const QByteArray hashField = "--@@\r\n"
                                 "Content-Disposition: form-data; name=\"if_content_hash\"\r\n"
                                 "\r\n"
                                 "ab12\r\n";
    const QByteArray dateField = "--@@\r\n"
                                 "Content-Disposition: form-data; name=\"if_date_upload\"\r\n"
                                 "\r\n"
                                 "1700000000\r\n";
    QTest::newRow("unconditional") << ReplacePrecondition{} << QByteArray();
    QTest::newRow("hash only") << ReplacePrecondition{QStringLiteral("ab12"), std::nullopt}
                               << hashField;
    QTest::newRow("date only") << ReplacePrecondition{std::nullopt, 1700000000} << dateField;
    QTest::newRow("both, hash first")
        << ReplacePrecondition{QStringLiteral("ab12"), 1700000000} << hashField + dateField;
}

void TestUploads::directReplaceForm()
{
    QFETCH(ReplacePrecondition, precondition);
    QFETCH(QByteArray, fields);

    FakeUploadService service;
    QList<qint64> progress;
    runAsync(service.api().replaceContent(existingFile(), content("hello"), precondition,
                                          [&](qint64 sent) { progress.append(sent); }));

    QCOMPARE(service.steps(), names("directReplace"));
    const HttpRequest request = service.requests(QStringLiteral("directReplace")).first();
    QCOMPARE(request.method, QByteArray("PUT"));
    QCOMPARE(request.url.toString(),
             QStringLiteral("https://api.test/api/v1/drive/files/77/content"));
    const QByteArray layout = "--@@\r\n"
                              "Content-Disposition: form-data; name=\"file\"; "
                              "filename=\"Plan.pdf\"\r\n"
                              "Content-Type: text/plain\r\n"
                              "\r\n"
                              "<data>\r\n"
                              + fields + "--@@--\r\n";
    QCOMPARE(request.body, expectedForm(layout, "hello", FakeUploadService::boundary(request)));
    QCOMPARE(progress, QList<qint64>({5}));
}

void TestUploads::sizeDecidesThePath_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<Sizes>("parts");

    const QStringList inParts = names("open presign presign part presign part part");
    QTest::newRow("create at the limit: direct")
        << false << qint64(16777216) << names("directCreate grant") << Sizes();
    QTest::newRow("create one byte over: three parts")
        << false << qint64(16777217) << inParts + names("finishCreate grant")
        << Sizes({8388608, 8388608, 1});
    QTest::newRow("replace at the limit: direct")
        << true << qint64(16777216) << names("directReplace") << Sizes();
    QTest::newRow("replace one byte over: three parts")
        << true << qint64(16777217) << inParts + names("finishReplace")
        << Sizes({8388608, 8388608, 1});
}

void TestUploads::sizeDecidesThePath()
{
    QFETCH(bool, replace);
    QFETCH(qint64, size);
    QFETCH(QStringList, steps);
    QFETCH(Sizes, parts);

    FakeUploadService service;
    const QByteArray bytes = patternBytes(size);
    if (replace)
        runAsync(service.api().replaceContent(existingFile(), content(bytes), {}, {}));
    else
        runAsync(service.api().createFile(QStringLiteral("big.bin"), 3, content(bytes), {}));

    QCOMPARE(service.steps(), steps);
    qint64 offset = 0;
    const QList<QByteArray> bodies = service.partBodies();
    QCOMPARE(bodies.size(), parts.size());
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QCOMPARE(bodies[i].size(), parts[i]);
        QVERIFY2(bodies[i] == bytes.mid(offset, parts[i]), qPrintable(QString::number(i + 1)));
        offset += parts[i];
    }
}

void TestUploads::multipartCreateRequests()
{
    FakeUploadService service;
    QList<qint64> progress;
    const qint64 size = 20 * 1024 * 1024;
    const DriveFile created = runAsync(service.api().createFile(
        QStringLiteral("Thèse.pdf"), std::nullopt, content(patternBytes(size)),
        [&](qint64 sent) { progress.append(sent); }));

    QCOMPARE(progress, QList<qint64>({8388608, 16777216, 20971520}));

    const HttpRequest open = service.requests(QStringLiteral("open")).first();
    QCOMPARE(open.method, QByteArray("POST"));
    QCOMPARE(open.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(FakeUploadService::json(open),
             object(R"({"file_name":"Thèse.pdf","file_size":20971520,"id_folder":0,)"
                    R"("content_type":"text/plain","storage_class":"standard"})"));

    const QList<HttpRequest> presigns = service.requests(QStringLiteral("presign"));
    QCOMPARE(presigns.size(), 3);
    for (int number = 1; number <= 3; ++number) {
        QJsonObject expected = object(R"({"s3_key":"k/multi","upload_id":"U1"})");
        expected.insert(QStringLiteral("part_number"), number);
        QCOMPARE(FakeUploadService::json(presigns[number - 1]), expected);
    }

    // Straight to storage: the presigned address as given, none of the API's headers.
    const QList<HttpRequest> puts = service.requests(QStringLiteral("part"));
    QCOMPARE(puts.size(), 3);
    for (int number = 1; number <= 3; ++number) {
        const HttpRequest &put = puts[number - 1];
        QCOMPARE(put.method, QByteArray("PUT"));
        QCOMPARE(
            put.url.toString(),
            QStringLiteral("https://storage.test/k/multi?partNumber=%1&X-Sig=s3cr3t").arg(number));
        QVERIFY(put.headers.isEmpty());
        QCOMPARE(put.timeout, 300.0);
    }

    // ETags exactly as received, quotes included, whatever the case of the header's name.
    QJsonObject finish = object(R"({"s3_key":"k/multi","upload_id":"U1","file_name":"Thèse.pdf",)"
                                R"("file_size":20971520,"id_folder":0,"content_type":"text/plain",)"
                                R"("storage_class":"standard","content_hash":"localhash"})");
    finish.insert(QStringLiteral("parts"), etagParts(3));
    QCOMPARE(FakeUploadService::json(service.requests(QStringLiteral("finishCreate")).first()),
             finish);

    QCOMPARE(created.id, qint64(502));
    QCOMPARE(created.parentFolderID, OptionalID());
    QCOMPARE(created.storageKey, QStringLiteral("k/final"));
    QCOMPARE(created.size, size);
    QVERIFY(!created.thumbnailPath);
}

void TestUploads::tooLargeGoesInParts_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QJsonArray>("finishedParts");

    const QJsonArray onePart = etagParts(1);
    QTest::newRow("create, 5 bytes")
        << false << QByteArray("hello")
        << names("directCreate open presign part finishCreate grant") << onePart;
    QTest::newRow("create, empty file")
        << false << QByteArray() << names("directCreate open finishCreate grant") << QJsonArray();
    QTest::newRow("replace, 5 bytes")
        << true << QByteArray("hello") << names("directReplace open presign part finishReplace")
        << onePart;
    QTest::newRow("replace, empty file")
        << true << QByteArray() << names("directReplace open finishReplace") << QJsonArray();
}

void TestUploads::tooLargeGoesInParts()
{
    QFETCH(bool, replace);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, steps);
    QFETCH(QJsonArray, finishedParts);

    FakeUploadService service;
    const auto tooLarge = [](const HttpRequest &) {
        return FakeUploadService::Reply::withStatus(413);
    };
    service.routes[QStringLiteral("directCreate")] = tooLarge;
    service.routes[QStringLiteral("directReplace")] = tooLarge;
    QList<qint64> progress;
    const auto onProgress = [&](qint64 sent) { progress.append(sent); };
    if (replace)
        runAsync(service.api().replaceContent(existingFile(), content(bytes), {}, onProgress));
    else
        runAsync(service.api().createFile(QStringLiteral("a.txt"), 3, content(bytes), onProgress));

    QCOMPARE(service.steps(), steps);
    QCOMPARE(service.partBodies(), bytes.isEmpty() ? QList<QByteArray>() : QList({bytes}));
    const HttpRequest finish =
        service.requests(replace ? QStringLiteral("finishReplace") : QStringLiteral("finishCreate"))
            .first();
    QCOMPARE(FakeUploadService::json(finish).value(QStringLiteral("parts")).toArray(),
             finishedParts);
    QCOMPARE(progress, bytes.isEmpty() ? QList<qint64>() : QList<qint64>({bytes.size()}));
}

void TestUploads::multipartCreateStorageKey_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("storageKey");
    QTest::newRow("from the finish")
        << QByteArray(R"({"id":9,"s3_key":"k/final"})") << QStringLiteral("k/final");
    QTest::newRow("missing: from the opening")
        << QByteArray(R"({"id":9})") << QStringLiteral("k/multi");
    QTest::newRow("empty: from the opening")
        << QByteArray(R"({"id":9,"s3_key":""})") << QStringLiteral("k/multi");
}

void TestUploads::multipartCreateStorageKey()
{
    QFETCH(QByteArray, answer);
    QFETCH(QString, storageKey);

    FakeUploadService service;
    service.routes[QStringLiteral("directCreate")] = [](const HttpRequest &) {
        return FakeUploadService::Reply::withStatus(413);
    };
    service.routes[QStringLiteral("finishCreate")] = [answer](const HttpRequest &) {
        return FakeUploadService::Reply::ok(answer);
    };
    const DriveFile created =
        runAsync(service.api().createFile(QStringLiteral("a.txt"), 3, content("hello"), {}));
    QCOMPARE(created.storageKey, storageKey);
}

void TestUploads::multipartReplaceFinish_data()
{
    QTest::addColumn<OptionalID>("parentID");
    QTest::addColumn<ReplacePrecondition>("precondition");
    QTest::addColumn<QJsonObject>("conditions");

    QTest::newRow("unconditional, at the root")
        << OptionalID() << ReplacePrecondition{} << QJsonObject();
    QTest::newRow("hash only") << OptionalID(5)
                               << ReplacePrecondition{QStringLiteral("ab12"), std::nullopt}
                               << object(R"({"if_content_hash":"ab12"})");
    QTest::newRow("date only") << OptionalID(5) << ReplacePrecondition{std::nullopt, 1700000000}
                               << object(R"({"if_date_upload":1700000000})");
    QTest::newRow("both") << OptionalID(5)
                          << ReplacePrecondition{QStringLiteral("ab12"), 1700000000}
                          << object(R"({"if_content_hash":"ab12","if_date_upload":1700000000})");
}

void TestUploads::multipartReplaceFinish()
{
    QFETCH(OptionalID, parentID);
    QFETCH(ReplacePrecondition, precondition);
    QFETCH(QJsonObject, conditions);

    FakeUploadService service;
    DriveFile file = existingFile();
    file.parentFolderID = parentID;
    runAsync(service.api().replaceContent(file, content(patternBytes(16777217)), precondition, {}));

    QJsonObject open = object(R"({"file_name":"Plan.pdf","file_size":16777217,)"
                              R"("content_type":"text/plain","storage_class":"standard"})");
    open.insert(QStringLiteral("id_folder"), parentID.value_or(0));
    QCOMPARE(FakeUploadService::json(service.requests(QStringLiteral("open")).first()), open);

    const HttpRequest finish = service.requests(QStringLiteral("finishReplace")).first();
    QCOMPARE(finish.url.toString(),
             QStringLiteral("https://api.test/api/v1/drive/files/77/content/complete"));
    QJsonObject expected = object(R"({"s3_key":"k/multi","upload_id":"U1","file_size":16777217,)"
                                  R"("content_type":"text/plain","content_hash":"localhash"})");
    expected.insert(QStringLiteral("parts"), etagParts(3));
    for (auto it = conditions.begin(); it != conditions.end(); ++it)
        expected.insert(it.key(), it.value());
    QCOMPARE(FakeUploadService::json(finish), expected);
}

void TestUploads::replaceAnswerMerge_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<DriveFile>("expected");

    // The old file is archived, trashed and has thumbnails; a replace clears all three.
    DriveFile kept = existingFile();
    kept.isTrashed = false;
    kept.thumbnailPath.reset();
    kept.storageClass = StorageClass::standard;

    DriveFile full = kept;
    full.storageKey = QStringLiteral("new/key");
    full.size = 13;
    full.contentHash = QStringLiteral("newhash");
    full.uploadTimestamp = 1700000000;
    QTest::newRow("everything stated; the answer's id is not used")
        << QByteArray(R"({"id":999,"file_path":"new/key","file_size":12.5,)"
                      R"("content_hash":"newhash","date_upload":1700000000,)"
                      R"("storage_class":"standard"})")
        << full;
    QTest::newRow("nothing stated: class becomes standard") << QByteArray(R"({"id":77})") << kept;
    QTest::newRow("empty hash keeps the old one")
        << QByteArray(R"({"id":77,"content_hash":""})") << kept;
    DriveFile glacier = kept;
    glacier.storageClass = StorageClass::glacier;
    QTest::newRow("class read leniently")
        << QByteArray(R"({"id":77,"storage_class":" Glacier\t"})") << glacier;
}

void TestUploads::replaceAnswerMerge()
{
    QFETCH(QByteArray, answer);
    QFETCH(DriveFile, expected);

    FakeUploadService service;
    service.routes[QStringLiteral("directReplace")] = [answer](const HttpRequest &) {
        return FakeUploadService::Reply::ok(answer);
    };
    const DriveFile replaced =
        runAsync(service.api().replaceContent(existingFile(), content("hello"), {}, {}));
    expected.modifiedAt = service.clock->currentDateTime();
    QVERIFY(replaced == expected);
}

void TestUploads::createKeepsLocalValuesWithoutGrant_data()
{
    QTest::addColumn<FakeUploadService::Reply>("grant");
    QTest::newRow("file gone") << FakeUploadService::Reply::withStatus(404);
    QTest::newRow("service failing") << FakeUploadService::Reply::withStatus(503);
    QTest::newRow("answer without url") << FakeUploadService::Reply::ok("{}");
    QTest::newRow("unusable url") << FakeUploadService::Reply::ok(R"({"url":"ftp://x/y"})");
}

void TestUploads::createKeepsLocalValuesWithoutGrant()
{
    QFETCH(FakeUploadService::Reply, grant);

    FakeUploadService service;
    service.routes[QStringLiteral("grant")] = [grant](const HttpRequest &) { return grant; };
    const DriveFile created =
        runAsync(service.api().createFile(QStringLiteral("a.txt"), 3, content("hello"), {}));
    QCOMPARE(created.id, qint64(501));
    QCOMPARE(created.size, qint64(5));
    QCOMPARE(created.contentHash, std::optional<QString>(localHash));
    QCOMPARE(created.uploadTimestamp, OptionalID());
}

void TestUploads::grownFileSendsThePlannedBytes_data()
{
    QTest::addColumn<qint64>("declared");
    QTest::addColumn<qint64>("actual");
    QTest::addColumn<Sizes>("parts");
    QTest::newRow("direct") << qint64(5) << qint64(10) << Sizes();
    QTest::newRow("in parts") << qint64(16777217) << qint64(16777300)
                              << Sizes({8388608, 8388608, 1});
}

void TestUploads::grownFileSendsThePlannedBytes()
{
    QFETCH(qint64, declared);
    QFETCH(qint64, actual);
    QFETCH(Sizes, parts);

    FakeUploadService service;
    const QByteArray bytes = patternBytes(actual);
    runAsync(service.api().createFile(QStringLiteral("a.log"), 3, content(bytes, declared), {}));

    if (parts.isEmpty()) {
        const HttpRequest direct = service.requests(QStringLiteral("directCreate")).first();
        QVERIFY(direct.body.contains("\r\n\r\n" + bytes.first(declared) + "\r\n--"));
        QVERIFY(!direct.body.contains(bytes.first(declared + 1)));
        return;
    }
    QList<qint64> sent;
    for (const QByteArray &body : service.partBodies())
        sent.append(body.size());
    QCOMPARE(sent, parts);
}

QTEST_GUILESS_MAIN(TestUploads)
#include "test_uploads.moc"
