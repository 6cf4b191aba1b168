// SPDX-License-Identifier: GPL-3.0-or-later
// Uploads that succeed: which path a content takes, and the exact requests of each step.
#include "DriveModelsTesting.h"
#include "FakeUploadService.h"

#include <QCryptographicHash>

#include <limits>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

using Sizes = QList<qint64>;
using Reply = FakeUploadService::Reply;

namespace {

const FakeUploadService::Route tooLarge = [](const HttpRequest &) {
    return Reply::withStatus(413);
};

// The parts list of a finish: the fake storage's ETags exactly as sent, quotes included.
QByteArray etagParts(qsizetype count)
{
    QByteArrayList parts;
    for (qsizetype n = 1; n <= count; ++n)
        parts.append(QByteArray(R"({"ETag":"\"etag-%1\"","PartNumber":%1})")
                         .replace("%1", QByteArray::number(n)));
    return '[' + parts.join(',') + ']';
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
    const QByteArray prefix = "multipart/form-data; boundary=";
    const QByteArray type = request.header("Content-Type").value_or(QByteArray());
    return form.replace("@@", type.startsWith(prefix) ? type.sliced(prefix.size()) : "?");
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
    void paths_data();
    void paths();
    void directCreate();
    void multipartCreate();
    void hashLeftToTheUpload();
    void replacePreconditions_data();
    void replacePreconditions();
    void replaceAnswerMerge_data();
    void replaceAnswerMerge();
};

void TestUploads::partSize_data()
{
    QTest::addColumn<qint64>("contentSize");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("empty") << qint64(0) << qint64(8388608);
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

void TestUploads::paths_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("refused"); // the direct upload is refused as too large
    QTest::addColumn<qint64>("declared");
    QTest::addColumn<qint64>("actual"); // the file may have grown since it was measured
    QTest::addColumn<QString>("steps");
    QTest::addColumn<Sizes>("parts");

    const QByteArray inParts = "open presign presign part presign part part ";
    const Sizes three{8388608, 8388608, 1};
    const auto add = [](const char *name, bool replace, bool refused, qint64 declared,
                        qint64 actual, const QByteArray &steps, const Sizes &parts) {
        QTest::newRow(name) << replace << refused << declared << actual
                            << QString::fromLatin1(steps) << parts;
    };
    add("create at the limit: direct", false, false, 16777216, 16777216, "directCreate grant", {});
    add("create one byte over: three parts", false, false, 16777217, 16777217,
        inParts + "finishCreate grant", three);
    add("replace at the limit: direct", true, false, 16777216, 16777216, "directReplace", {});
    add("replace one byte over: three parts", true, false, 16777217, 16777217,
        inParts + "finishReplace", three);
    add("refused as too large: one part", false, true, 5, 5,
        "directCreate open presign part finishCreate grant", {5});
    add("refused as too large, empty: no part", false, true, 0, 0,
        "directCreate open finishCreate grant", {});
    add("grown since measured: direct", false, false, 5, 10, "directCreate grant", {});
    add("grown since measured: in parts", false, false, 16777217, 16777300,
        inParts + "finishCreate grant", three);
}

void TestUploads::paths()
{
    QFETCH(bool, replace);
    QFETCH(bool, refused);
    QFETCH(qint64, declared);
    QFETCH(qint64, actual);
    QFETCH(QString, steps);
    QFETCH(Sizes, parts);

    FakeUploadService service;
    if (refused)
        service.routes[QStringLiteral("directCreate")] = tooLarge;
    const QByteArray bytes = generatedContent(actual);
    const DriveAPI::LocalContent content = service.localFile(bytes, declared);
    Sizes progress;
    const auto onProgress = [&](qint64 sent) { progress.append(sent); };
    if (replace)
        runAsync(service.api.replaceContent(existingFile(), content, {}, onProgress));
    else
        runAsync(service.api.createFile(QStringLiteral("big.bin"), 3, content, onProgress));
    QCOMPARE(service.steps(), steps);

    // Exactly the planned bytes, each part where it belongs, straight to storage through the
    // presigned address as given, with none of the API's headers; the progress after each.
    const QList<HttpRequest> presigns = service.requests(QStringLiteral("presign"));
    const QList<HttpRequest> puts = service.requests(QStringLiteral("part"));
    QCOMPARE(puts.size(), parts.size());
    Sizes expectedProgress;
    for (qsizetype i = 0, offset = 0; i < parts.size(); offset += parts[i++]) {
        const QByteArray number = QByteArray::number(i + 1);
        QCOMPARE(presigns[i].body.toByteArray(),
                 R"({"part_number":)" + number + R"(,"s3_key":"k/multi","upload_id":"U1"})");
        QCOMPARE(puts[i].method, QByteArray("PUT"));
        QCOMPARE(puts[i].url.toEncoded(),
                 "https://storage.test/k/multi?partNumber=" + number + "&X-Sig=s3cr3t");
        QVERIFY(puts[i].headers.isEmpty());
        QCOMPARE(puts[i].timeout, 300.0);
        QVERIFY2(puts[i].body.toByteArray() == bytes.mid(offset, parts[i]), number.constData());
        expectedProgress.append(offset + parts[i]);
    }
    const QString direct =
        replace ? QStringLiteral("directReplace") : QStringLiteral("directCreate");
    if (!refused && steps.startsWith(direct)) {
        const QByteArray form = service.requests(direct).constFirst().body.toByteArray();
        QVERIFY(form.contains("\r\n\r\n" + bytes.first(declared) + "\r\n--"));
        expectedProgress = {declared};
    }
    QCOMPARE(progress, expectedProgress);
    const QString finish =
        replace ? QStringLiteral("finishReplace") : QStringLiteral("finishCreate");
    for (const HttpRequest &request : service.requests(finish))
        QVERIFY(request.body.toByteArray().contains("\"parts\":" + etagParts(parts.size()) + ','));
}

void TestUploads::directCreate()
{
    // The grant's hash and upload time replace the local ones; without a grant the local ones
    // stay, and the file is created all the same.
    for (const auto &[grant, hash, uploaded] :
         {std::tuple{std::optional<Reply>(), "srvhash", std::optional<qint64>(1700000000)},
          {Reply::withStatus(404), "localhash", std::nullopt},
          {Reply::ok(R"({"url":"ftp://x/y"})"), "localhash", std::nullopt}}) {
        FakeUploadService service;
        if (grant)
            service.routes[QStringLiteral("grant")] = [grant = *grant](const HttpRequest &) {
                return grant;
            };
        const DriveFile created = runAsync(service.api.createFile(
            QStringLiteral("Été \"1\".txt"), 12, service.localFile("hello"), {}));
        QCOMPARE(service.steps(), QStringLiteral("directCreate grant"));
        const HttpRequest request = service.requests(QStringLiteral("directCreate")).constFirst();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.url.toString(),
                 QStringLiteral("https://api.test/api/v1/drive/upload/file"));
        QCOMPARE(request.header("Authorization"), QByteArray("Bearer tok"));
        QCOMPARE(request.body.toByteArray(),
                 expectedForm(request, "\xc3\x89t\xc3\xa9 \"1\".txt", "hello",
                              formField("id_folder", "12") + formField("storage_class", "standard")
                                  + formField("content_hash", "localhash")));
        const auto expectedFields = [&, hash = hash, uploaded = uploaded](DriveFile &f) {
            f.parentFolderID = 12;
            f.storageKey = QStringLiteral("k/direct");
            f.size = 5;
            f.contentHash = QString::fromLatin1(hash);
            f.modifiedAt = service.clock->currentDateTime();
            f.thumbnailPath = QStringLiteral("t_256x256.jpg");
            f.uploadTimestamp = uploaded;
        };
        const DriveFile expected = driveFile(501, QStringLiteral("Été \"1\".txt"), expectedFields);
        QCOMPARE(created, expected);
    }
}

void TestUploads::multipartCreate()
{
    FakeUploadService service;
    const DriveFile created =
        runAsync(service.api.createFile(QStringLiteral("Thèse.pdf"), std::nullopt,
                                        service.localFile(generatedContent(16777217)), {}));
    QCOMPARE(service.requests(QStringLiteral("open")).constFirst().body.toByteArray(),
             QByteArray(R"({"content_type":"text/plain","file_name":"Thèse.pdf",)"
                        R"("file_size":16777217,"id_folder":0,)"
                        R"("storage_class":"standard"})"));
    QCOMPARE(service.requests(QStringLiteral("finishCreate")).constFirst().body.toByteArray(),
             R"({"content_hash":"localhash","content_type":"text/plain","file_name":"Thèse.pdf",)"
             R"("file_size":16777217,"id_folder":0,"parts":)"
                 + etagParts(3)
                 + R"(,"s3_key":"k/multi","storage_class":"standard","upload_id":"U1"})");
    QCOMPARE(created.id, qint64(502));
    QCOMPARE(created.parentFolderID, std::nullopt);
    QCOMPARE(created.storageKey, QStringLiteral("k/final"));
    QCOMPARE(created.size, qint64(16777217));
    QVERIFY(!created.thumbnailPath);

    // A finish that names no storage key leaves the one the opening gave.
    for (const char *answer : {R"({"id":9})", R"({"id":9,"s3_key":""})"}) {
        FakeUploadService service;
        service.routes[QStringLiteral("directCreate")] = tooLarge;
        service.routes[QStringLiteral("finishCreate")] = [answer](const HttpRequest &) {
            return Reply::ok(answer);
        };
        const DriveFile created = runAsync(
            service.api.createFile(QStringLiteral("a.txt"), 3, service.localFile("hello"), {}));
        QCOMPARE(created.storageKey, QStringLiteral("k/multi"));
    }
}

void TestUploads::hashLeftToTheUpload()
{
    // In parts, the hash is made from the parts as they are read; the parts are the file.
    const QByteArray large = generatedContent(16777217 + 5);
    const QByteArray largeHash = QCryptographicHash::hash(large, QCryptographicHash::Sha256).toHex();
    FakeUploadService service;
    service.routes[QStringLiteral("grant")] = [](const HttpRequest &) {
        return Reply::withStatus(404); // the file keeps the hash made here
    };
    DriveAPI::LocalContent content = service.localFile(large);
    content.contentHash.clear();
    const DriveFile created =
        runAsync(service.api.createFile(QStringLiteral("Gros.bin"), 4, content, {}));
    QByteArray sent;
    for (const HttpRequest &part : service.requests(QStringLiteral("part")))
        sent += part.body.toByteArray();
    QCOMPARE(sent, large);
    const QByteArray finish =
        service.requests(QStringLiteral("finishCreate")).constFirst().body.toByteArray();
    const QByteArray hashField = "\"content_hash\":\"" + largeHash + "\"";
    QVERIFY(finish.contains(hashField));
    QCOMPARE(created.contentHash.value_or(QString()), QString::fromLatin1(largeHash));

    // In one request, it is made before the request.
    FakeUploadService direct;
    DriveAPI::LocalContent small = direct.localFile("bonjour");
    small.contentHash.clear();
    runAsync(direct.api.createFile(QStringLiteral("petit.txt"), 4, small, {}));
    const QByteArray form =
        direct.requests(QStringLiteral("directCreate")).constFirst().body.toByteArray();
    QVERIFY(form.contains(QCryptographicHash::hash("bonjour", QCryptographicHash::Sha256).toHex()));
}

void TestUploads::replacePreconditions_data()
{
    QTest::addColumn<ReplacePrecondition>("precondition");
    QTest::addColumn<QByteArray>("formFields");
    QTest::addColumn<QByteArray>("finishFields");

    const QByteArray hash = formField("if_content_hash", "ab12");
    const QByteArray date = formField("if_date_upload", "1700000000");
    QTest::newRow("unconditional") << ReplacePrecondition{} << QByteArray() << QByteArray();
    QTest::newRow("hash only") << ReplacePrecondition{QStringLiteral("ab12"), std::nullopt} << hash
                               << QByteArray(R"("if_content_hash":"ab12",)");
    QTest::newRow("date only") << ReplacePrecondition{std::nullopt, 1700000000} << date
                               << QByteArray(R"("if_date_upload":1700000000,)");
    QTest::newRow("both, hash first")
        << ReplacePrecondition{QStringLiteral("ab12"), 1700000000} << hash + date
        << QByteArray(R"("if_content_hash":"ab12","if_date_upload":1700000000,)");
}

void TestUploads::replacePreconditions()
{
    QFETCH(ReplacePrecondition, precondition);
    QFETCH(QByteArray, formFields);
    QFETCH(QByteArray, finishFields);

    // Refused in one request as too large, then sent in parts: both carry the precondition.
    FakeUploadService service;
    service.routes[QStringLiteral("directReplace")] = tooLarge;
    runAsync(
        service.api.replaceContent(existingFile(), service.localFile("hello"), precondition, {}));
    QCOMPARE(service.steps(), QStringLiteral("directReplace open presign part finishReplace"));
    const HttpRequest direct = service.requests(QStringLiteral("directReplace")).constFirst();
    QCOMPARE(direct.method, QByteArray("PUT"));
    QCOMPARE(direct.url.toString(),
             QStringLiteral("https://api.test/api/v1/drive/files/77/content"));
    QCOMPARE(direct.body.toByteArray(), expectedForm(direct, "Plan.pdf", "hello", formFields));
    QCOMPARE(service.requests(QStringLiteral("open")).constFirst().body.toByteArray(),
             QByteArray(R"({"content_type":"text/plain","file_name":"Plan.pdf","file_size":5,)"
                        R"("id_folder":5,"storage_class":"standard"})"));
    const HttpRequest finish = service.requests(QStringLiteral("finishReplace")).constFirst();
    QCOMPARE(finish.url.toString(),
             QStringLiteral("https://api.test/api/v1/drive/files/77/content/complete"));
    QCOMPARE(finish.body.toByteArray(),
             R"({"content_hash":"localhash","content_type":"text/plain","file_size":5,)"
                 + finishFields + R"("parts":)" + etagParts(1)
                 + R"(,"s3_key":"k/multi","upload_id":"U1"})");
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
    const DriveFile replaced =
        runAsync(service.api.replaceContent(existingFile(), service.localFile("hello"), {}, {}));
    expected.modifiedAt = service.clock->currentDateTime();
    QCOMPARE(replaced, expected);
}

QTEST_GUILESS_MAIN(TestUploads)
#include "test_uploads.moc"
