// SPDX-License-Identifier: GPL-3.0-or-later
// Uploads that succeed: which path a content takes, and the exact requests of each step.
#include "DriveModelsTesting.h"
#include "FakeUploadService.h"
#include "LocalUploadFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <limits>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

using OptionalID = std::optional<qint64>;
using Sizes = QList<qint64>;
using Reply = FakeUploadService::Reply;
Q_DECLARE_METATYPE(OptionalID)
Q_DECLARE_METATYPE(OrvelanNimbal::ReplacePrecondition)
Q_DECLARE_METATYPE(OrvelanNimbal::DriveFile)
Q_DECLARE_METATYPE(OrvelanNimbal::Testing::FakeTransport::Reply)

namespace {

const FakeUploadService::Route tooLarge = [](const HttpRequest &) {
    return Reply::withStatus(413);
};

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

// One field of a form, "@@" standing for the boundary.
QByteArray formField(const QByteArray &name, const QByteArray &value)
{
    return "--@@\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

// The form a direct upload must send: the file's part, then `fields`.
QByteArray expectedForm(const HttpRequest &request, const QByteArray &fileName,
                        const QByteArray &data, const QByteArray &fields)
{
    QByteArray form = "--@@\r\nContent-Disposition: form-data; name=\"file\"; filename=\""
                      + fileName + "\"\r\nContent-Type: text/plain\r\n\r\n" + data + "\r\n" + fields
                      + "--@@--\r\n";
    return form.replace("@@", FakeUploadService::boundary(request));
}

DriveFile existingFile()
{
    return driveFile(77, QStringLiteral("Plan.pdf"), [](DriveFile &f) {
        f.parentFolderID = 5;
        f.storageKey = QStringLiteral("old/key");
        f.size = 100;
        f.contentHash = QStringLiteral("oldhash");
        f.isTrashed = true;
        f.storageClass = StorageClass::glacier;
        f.thumbnailPath = QStringLiteral("x_64x64.jpg");
        f.uploadTimestamp = 1600000000;
    });
}

} // namespace

class TestUploads : public QObject {
    Q_OBJECT

private slots:
    void partSize_data();
    void partSize();
    void directCreate_data();
    void directCreate();
    void sizeDecidesThePath_data();
    void sizeDecidesThePath();
    void multipartCreateRequests();
    void tooLargeGoesInParts_data();
    void tooLargeGoesInParts();
    void multipartCreateStorageKey();
    void replacePreconditions_data();
    void replacePreconditions();
    void replaceAnswerMerge_data();
    void replaceAnswerMerge();
    void createKeepsLocalValuesWithoutGrant_data();
    void createKeepsLocalValuesWithoutGrant();
    void grownFileSendsThePlannedBytes_data();
    void grownFileSendsThePlannedBytes();
};

void TestUploads::partSize_data()
{
    QTest::addColumn<qint64>("contentSize");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("empty") << qint64(0) << qint64(8388608);
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
    const DriveFile created = runAsync(service.api.createFile(
        QStringLiteral("Été \"1\".txt"), parentID, service.localFile("hello"),
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
    QCOMPARE(request.body, expectedForm(request, "\xc3\x89t\xc3\xa9 \"1\".txt", "hello",
                                        formField("id_folder", folderField)
                                            + formField("storage_class", "standard")
                                            + formField("content_hash", "localhash")));
    QCOMPARE(progress, Sizes({5}));

    // The grant's hash and upload time replace the local ones; the rest is the local file's.
    const DriveFile expected = driveFile(501, QStringLiteral("Été \"1\".txt"), [&](DriveFile &f) {
        f.parentFolderID = parentID;
        f.storageKey = QStringLiteral("k/direct");
        f.size = 5;
        f.contentHash = QStringLiteral("srvhash");
        f.modifiedAt = service.clock->currentDateTime();
        f.thumbnailPath = QStringLiteral("t_256x256.jpg");
        f.uploadTimestamp = 1700000000;
    });
    QCOMPARE(created, expected);
}

void TestUploads::sizeDecidesThePath_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<Sizes>("parts");

    const QStringList inParts = names("open presign presign part presign part part");
    const Sizes threeParts{8388608, 8388608, 1};
    QTest::newRow("create at the limit: direct")
        << false << qint64(16777216) << names("directCreate grant") << Sizes();
    QTest::newRow("create one byte over: three parts")
        << false << qint64(16777217) << inParts + names("finishCreate grant") << threeParts;
    QTest::newRow("replace at the limit: direct")
        << true << qint64(16777216) << names("directReplace") << Sizes();
    QTest::newRow("replace one byte over: three parts")
        << true << qint64(16777217) << inParts + names("finishReplace") << threeParts;
}

void TestUploads::sizeDecidesThePath()
{
    QFETCH(bool, replace);
    QFETCH(qint64, size);
    QFETCH(QStringList, steps);
    QFETCH(Sizes, parts);

    FakeUploadService service;
    const QByteArray bytes = generatedContent(size);
    if (replace)
        runAsync(service.api.replaceContent(existingFile(), service.localFile(bytes), {}, {}));
    else
        runAsync(
            service.api.createFile(QStringLiteral("big.bin"), 3, service.localFile(bytes), {}));

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
    const DriveFile created = runAsync(service.api.createFile(
        QStringLiteral("Thèse.pdf"), std::nullopt, service.localFile(generatedContent(size)),
        [&](qint64 sent) { progress.append(sent); }));

    QCOMPARE(progress, Sizes({8388608, 16777216, 20971520}));
    const HttpRequest open = service.requests(QStringLiteral("open")).first();
    QCOMPARE(open.method, QByteArray("POST"));
    QCOMPARE(open.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(FakeUploadService::json(open),
             object(R"({"file_name":"Thèse.pdf","file_size":20971520,"id_folder":0,)"
                    R"("content_type":"text/plain","storage_class":"standard"})"));

    const QList<HttpRequest> presigns = service.requests(QStringLiteral("presign"));
    const QList<HttpRequest> puts = service.requests(QStringLiteral("part"));
    QCOMPARE(presigns.size(), 3);
    QCOMPARE(puts.size(), 3);
    for (int number = 1; number <= 3; ++number) {
        QJsonObject presign = object(R"({"s3_key":"k/multi","upload_id":"U1"})");
        presign.insert(QStringLiteral("part_number"), number);
        QCOMPARE(FakeUploadService::json(presigns[number - 1]), presign);
        // Straight to storage: the presigned address as given, none of the API's headers.
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
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QJsonArray>("finishedParts");
    QTest::newRow("5 bytes") << QByteArray("hello")
                             << names("directCreate open presign part finishCreate grant")
                             << etagParts(1);
    QTest::newRow("empty file") << QByteArray() << names("directCreate open finishCreate grant")
                                << QJsonArray();
}

void TestUploads::tooLargeGoesInParts()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, steps);
    QFETCH(QJsonArray, finishedParts);

    FakeUploadService service;
    service.routes[QStringLiteral("directCreate")] = tooLarge;
    QList<qint64> progress;
    runAsync(service.api.createFile(QStringLiteral("a.txt"), 3, service.localFile(bytes),
                                    [&](qint64 sent) { progress.append(sent); }));

    QCOMPARE(service.steps(), steps);
    QCOMPARE(service.partBodies(), bytes.isEmpty() ? QList<QByteArray>() : QList({bytes}));
    const HttpRequest finish = service.requests(QStringLiteral("finishCreate")).first();
    QCOMPARE(FakeUploadService::json(finish).value(QStringLiteral("parts")).toArray(),
             finishedParts);
    QCOMPARE(progress, bytes.isEmpty() ? Sizes() : Sizes({bytes.size()}));
}

void TestUploads::multipartCreateStorageKey()
{
    // A finish that names no storage key leaves the one the opening gave.
    for (const char *answer : {R"({"id":9})", R"({"id":9,"s3_key":""})"}) {
        FakeUploadService service;
        service.routes[QStringLiteral("directCreate")] = tooLarge;
        service.routes[QStringLiteral("finishCreate")] = [answer](const HttpRequest &) {
            return Reply::ok(answer);
        };
        const DriveFile created = runAsync(
            service.api.createFile(QStringLiteral("a.txt"), 3, service.localFile("hello"), {}));
        QCOMPARE(created.storageKey, FakeUploadService::storageKey);
    }
}

void TestUploads::replacePreconditions_data()
{
    QTest::addColumn<ReplacePrecondition>("precondition");
    QTest::addColumn<QByteArray>("formFields");
    QTest::addColumn<QJsonObject>("finishFields");

    const QByteArray hash = formField("if_content_hash", "ab12");
    const QByteArray date = formField("if_date_upload", "1700000000");
    QTest::newRow("unconditional") << ReplacePrecondition{} << QByteArray() << QJsonObject();
    QTest::newRow("hash only") << ReplacePrecondition{QStringLiteral("ab12"), std::nullopt} << hash
                               << object(R"({"if_content_hash":"ab12"})");
    QTest::newRow("date only") << ReplacePrecondition{std::nullopt, 1700000000} << date
                               << object(R"({"if_date_upload":1700000000})");
    QTest::newRow("both, hash first")
        << ReplacePrecondition{QStringLiteral("ab12"), 1700000000} << hash + date
        << object(R"({"if_content_hash":"ab12","if_date_upload":1700000000})");
}

void TestUploads::replacePreconditions()
{
    QFETCH(ReplacePrecondition, precondition);
    QFETCH(QByteArray, formFields);
    QFETCH(QJsonObject, finishFields);

    // Refused in one request as too large, then sent in parts: both carry the precondition.
    FakeUploadService service;
    service.routes[QStringLiteral("directReplace")] = tooLarge;
    runAsync(
        service.api.replaceContent(existingFile(), service.localFile("hello"), precondition, {}));
    QCOMPARE(service.steps(), names("directReplace open presign part finishReplace"));

    const HttpRequest direct = service.requests(QStringLiteral("directReplace")).first();
    QCOMPARE(direct.method, QByteArray("PUT"));
    QCOMPARE(direct.url.toString(),
             QStringLiteral("https://api.test/api/v1/drive/files/77/content"));
    QCOMPARE(direct.body, expectedForm(direct, "Plan.pdf", "hello", formFields));

    QCOMPARE(FakeUploadService::json(service.requests(QStringLiteral("open")).first()),
             object(R"({"file_name":"Plan.pdf","file_size":5,"id_folder":5,)"
                    R"("content_type":"text/plain","storage_class":"standard"})"));
    const HttpRequest finish = service.requests(QStringLiteral("finishReplace")).first();
    QCOMPARE(finish.url.toString(),
             QStringLiteral("https://api.test/api/v1/drive/files/77/content/complete"));
    QJsonObject expected = object(R"({"s3_key":"k/multi","upload_id":"U1","file_size":5,)"
                                  R"("content_type":"text/plain","content_hash":"localhash"})");
    expected.insert(QStringLiteral("parts"), etagParts(1));
    for (auto it = finishFields.begin(); it != finishFields.end(); ++it)
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
    DriveFile glacier = kept;
    glacier.storageClass = StorageClass::glacier;

    QTest::newRow("everything stated; the answer's id is not used")
        << QByteArray(R"({"id":999,"file_path":"new/key","file_size":12.5,)"
                      R"("content_hash":"newhash","date_upload":1700000000,)"
                      R"("storage_class":"standard"})")
        << full;
    QTest::newRow("nothing stated: class becomes standard") << QByteArray(R"({"id":77})") << kept;
    QTest::newRow("empty hash keeps the old one")
        << QByteArray(R"({"id":77,"content_hash":""})") << kept;
    QTest::newRow("class read leniently")
        << QByteArray(R"({"id":77,"storage_class":" Glacier\t"})") << glacier;
}

void TestUploads::replaceAnswerMerge()
{
    QFETCH(QByteArray, answer);
    QFETCH(DriveFile, expected);

    FakeUploadService service;
    service.routes[QStringLiteral("directReplace")] = [answer](const HttpRequest &) {
        return Reply::ok(answer);
    };
    QList<qint64> progress;
    const DriveFile replaced =
        runAsync(service.api.replaceContent(existingFile(), service.localFile("hello"), {},
                                            [&](qint64 sent) { progress.append(sent); }));
    expected.modifiedAt = service.clock->currentDateTime();
    QCOMPARE(replaced, expected);
    QCOMPARE(progress, Sizes({5}));
}

void TestUploads::createKeepsLocalValuesWithoutGrant_data()
{
    QTest::addColumn<Reply>("grant");
    QTest::newRow("file gone") << Reply::withStatus(404);
    QTest::newRow("unusable url") << Reply::ok(R"({"url":"ftp://x/y"})");
}

void TestUploads::createKeepsLocalValuesWithoutGrant()
{
    QFETCH(Reply, grant);

    FakeUploadService service;
    service.routes[QStringLiteral("grant")] = [grant](const HttpRequest &) { return grant; };
    const DriveFile created = runAsync(
        service.api.createFile(QStringLiteral("a.txt"), 3, service.localFile("hello"), {}));
    QCOMPARE(service.steps(), names("directCreate grant"));
    QCOMPARE(created.id, qint64(501));
    QCOMPARE(created.size, qint64(5));
    QCOMPARE(created.contentHash, std::optional(QStringLiteral("localhash")));
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
    const QByteArray bytes = generatedContent(actual);
    runAsync(
        service.api.createFile(QStringLiteral("a.log"), 3, service.localFile(bytes, declared), {}));
    if (parts.isEmpty()) {
        const HttpRequest direct = service.requests(QStringLiteral("directCreate")).first();
        QVERIFY(direct.body.contains("\r\n\r\n" + bytes.first(declared) + "\r\n--"));
        QVERIFY(!direct.body.contains(bytes.first(declared + 1)));
        return;
    }
    Sizes sent;
    for (const QByteArray &body : service.partBodies())
        sent.append(body.size());
    QCOMPARE(sent, parts);
}

QTEST_GUILESS_MAIN(TestUploads)
#include "test_uploads.moc"
