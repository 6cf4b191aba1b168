// SPDX-License-Identifier: GPL-3.0-or-later
// Uploads through the real client into the real local service, from real files: what is stored
// is what was sent, whichever way it went (one request or parts, either side of 16 MiB, after a
// 413); a replace made on a stale version is refused with the drive left as it was; an upload
// that fails or is cancelled half-way leaves no file and nothing of itself behind.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "ServiceTest.h"
#include "sync/ContentVersion.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(OrvelanNimbal::DriveError)

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 directLimit = DriveAPI::directUploadLimit;
// Sixteen mebibytes and a byte, sent twice over, take a moment on a loaded machine.
constexpr auto uploadCeiling = 20s;

const QString directPath = QStringLiteral("/api/v1/drive/upload/file");
const QString initPath = QStringLiteral("/api/v1/drive/upload/multipart/init");
const QString presignPath = QStringLiteral("/api/v1/drive/upload/multipart/presign");
const QString completePath = QStringLiteral("/api/v1/drive/upload/multipart/complete");
const QString abortPath = QStringLiteral("/api/v1/drive/upload/multipart/abort");

// Which content a file holds. Its modification time is left out: the answer to an upload gives
// it to the millisecond, listings to the second.
auto version(const DriveFile &file)
{
    return std::tuple(file.id, file.size, file.contentHash, file.uploadTimestamp, file.storageKey);
}

QString replacePath(qint64 id)
{
    return QStringLiteral("/api/v1/drive/files/%1/content").arg(id);
}

// A real file to upload, in a folder of its own. Its bytes differ from part to part and from
// one seed to another, so that a part sent twice, skipped or put in the wrong place changes the
// content's hash.
struct LocalFile {
    LocalFile(qint64 size, quint32 seed)
        : bytes((size + 3) / 4 * 4, Qt::Uninitialized)
    {
        QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                         bytes.size() / 4);
        bytes.truncate(size);
        QFile file(folder.filePath(QStringLiteral("envoi.bin")));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != size)
            throw std::runtime_error("cannot write the file to upload");
    }

    // What the extension hands to an upload: the file, its size and its SHA-256.
    DriveAPI::LocalContent content() const
    {
        return {QUrl::fromLocalFile(folder.filePath(QStringLiteral("envoi.bin"))), bytes.size(),
                QString::fromLatin1(
                    QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()),
                QStringLiteral("application/octet-stream")};
    }

    QTemporaryDir folder;
    QByteArray bytes;
};

} // namespace

class TestServiceUploads : public ServiceTest {
    Q_OBJECT

private slots:
    void storedAsSent_data();
    void storedAsSent();
    void staleReplaceChangesNothing_data();
    void staleReplaceChangesNothing();
    void failureHalfWayLeavesNothing_data();
    void failureHalfWayLeavesNothing();
    void fileStateRefusesReplace_data();
    void fileStateRefusesReplace();

private:
    QByteArray download(const DriveAccount &account, const DriveFile &file)
    {
        HttpRequest request;
        request.url = runAsync(account.drive.contentURL(file)).url;
        return runAsync(account.client->sendExternal(request)).body;
    }

    auto onlyFileInFeed(const DriveAccount &account)
    {
        const std::vector<DriveFile> files = runAsync(account.drive.changes(0)).files;
        return files.size() == 1 ? version(files[0]) : decltype(version(DriveFile())){};
    }

    // Nothing of an upload in progress is left, and the content folder holds `contents` files.
    void verifyNothingLeft(const QString &email, int contents)
    {
        const LocalService::Leftovers left = service().leftovers(email);
        QCOMPARE(left.uploads, 0);
        QCOMPARE(left.parts, 0);
        QCOMPARE(left.partFiles, 0);
        QCOMPARE(left.contentFiles, contents);
    }
};

void TestServiceUploads::storedAsSent_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("tooLarge"); // the one request is answered 413
    QTest::addColumn<int>("parts");
    QTest::addColumn<QList<qint64>>("progress");

    const QList<qint64> threeParts{8 * MiB, 16 * MiB, directLimit + 1};
    QTest::newRow("create, 16 MiB in one request")
        << false << directLimit << false << 0 << QList<qint64>{directLimit};
    QTest::newRow("create, 16 MiB + 1 in parts")
        << false << directLimit + 1 << false << 3 << threeParts;
    QTest::newRow("replace, a few bytes") << true << qint64(11) << false << 0 << QList<qint64>{11};
    QTest::newRow("replace, 16 MiB + 1 in parts")
        << true << directLimit + 1 << false << 3 << threeParts;
    QTest::newRow("create, too large for the service")
        << false << qint64(5) << true << 1 << QList<qint64>{5};
    QTest::newRow("replace, empty, too large for the service")
        << true << qint64(0) << true << 0 << QList<qint64>{};
}

void TestServiceUploads::storedAsSent()
{
    QFETCH(bool, replace);
    QFETCH(qint64, size);
    QFETCH(bool, tooLarge);
    QFETCH(int, parts);
    QFETCH(QList<qint64>, progress);
    const DriveAccount account = signedInAccount(QStringLiteral("stored"));
    const LocalFile local(size, quint32(size));
    std::optional<DriveFile> original;
    if (replace)
        original = service().putFile(account.email, u"rapport.odt"_qs, "version 1");
    const QByteArray directMethod = original ? "PUT" : "POST";
    const QString directRoute = original ? replacePath(original->id) : directPath;
    if (tooLarge)
        service().injectFault(directMethod, directRoute, {413});
    QList<qint64> reported;
    const auto record = [&](qint64 sent) { reported.append(sent); };

    const DriveFile uploaded =
        runAsync(original ? account.drive.replaceContent(
                     *original, local.content(),
                     ContentVersion::precondition(ContentVersion::token(*original)), record)
                          : account.drive.createFile(u"rapport.odt"_qs, std::nullopt,
                                                     local.content(), record),
                 uploadCeiling);

    const bool direct = size <= directLimit;
    QCOMPARE(service().requestCount(directMethod, directRoute), direct ? 1 : 0);
    QCOMPARE(service().requestCount("POST", initPath), direct && !tooLarge ? 0 : 1);
    QCOMPARE(service().requestCount("POST", presignPath), parts);
    QCOMPARE(reported, progress);
    if (original) {
        QCOMPARE(uploaded.id, original->id);
        // A version a client saw is never the version after a replace.
        QVERIFY(*uploaded.uploadTimestamp > *original->uploadTimestamp);
    }
    QCOMPARE(uploaded.size, size);
    QCOMPARE(uploaded.contentHash, std::optional(local.content().contentHash));
    // The feed tells of it as it is, and its content comes back whole.
    QCOMPARE(onlyFileInFeed(account), version(uploaded));
    QVERIFY(download(account, uploaded) == local.bytes);
    // The content replaced is gone with the version it was.
    verifyNothingLeft(account.email, 1);
}

void TestServiceUploads::staleReplaceChangesNothing_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("editedElsewhere"); // else the caller expects another hash
    QTest::newRow("another hash expected, direct") << qint64(4096) << false;
    QTest::newRow("another hash expected, in parts") << directLimit + 1 << false;
    QTest::newRow("edited elsewhere since, direct") << qint64(4096) << true;
}

void TestServiceUploads::staleReplaceChangesNothing()
{
    QFETCH(qint64, size);
    QFETCH(bool, editedElsewhere);
    const DriveAccount account = signedInAccount(QStringLiteral("stale"));
    const DriveFile original = service().putFile(account.email, u"budget.ods"_qs, "chiffres");
    DriveFile current = original; // what the drive must still hold afterwards
    ReplacePrecondition precondition =
        ContentVersion::precondition(QStringLiteral("h:") + QString(64, u'0'));
    if (editedElsewhere) {
        precondition = ContentVersion::precondition(ContentVersion::token(original));
        current =
            runAsync(account.drive.replaceContent(original, LocalFile(64, 9).content(), {}, {}));
    }
    const QByteArray before = download(account, current);

    const LocalFile local(size, 7);
    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(account.drive.replaceContent(original, local.content(), precondition, {}),
                 uploadCeiling),
        DriveError::versionConflict());

    QCOMPARE(onlyFileInFeed(account), version(current));
    QCOMPARE(download(account, current), before);
    QCOMPARE(service().requestCount("POST", abortPath), size > directLimit ? 1 : 0);
    verifyNothingLeft(account.email, 1);
}

void TestServiceUploads::failureHalfWayLeavesNothing_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("cancel"); // else the storage fails beyond the client's retries
    QTest::newRow("create, storage down") << false << false;
    QTest::newRow("replace, storage down") << true << false;
    QTest::newRow("create, cancelled between parts") << false << true;
    QTest::newRow("replace, cancelled between parts") << true << true;
}

void TestServiceUploads::failureHalfWayLeavesNothing()
{
    QFETCH(bool, replace);
    QFETCH(bool, cancel);
    const DriveAccount account = signedInAccount(QStringLiteral("half-way"));
    std::optional<DriveFile> before;
    if (replace)
        before = service().putFile(account.email, u"film.mkv"_qs, "la version d'avant");
    // Three parts, 8, 8 and 4 MiB; the mishap strikes once the first is stored.
    const LocalFile local(20 * MiB, 21);
    CancellationSource source;
    bool first = true;
    const auto progress = [&](qint64) {
        if (!std::exchange(first, false))
            return;
        if (cancel)
            source.cancel();
        else
            service().failStorage(3);
    };

    try {
        runAsync(before ? account.drive.replaceContent(*before, local.content(), {}, progress,
                                                       source.token())
                        : account.drive.createFile(u"film.mkv"_qs, std::nullopt, local.content(),
                                                   progress, source.token()),
                 uploadCeiling);
        QFAIL("the upload went through");
    } catch (const DriveError &error) {
        QVERIFY2(!cancel, qPrintable(error.errorDescription()));
        QCOMPARE(error.kind(), DriveError::Kind::http);
        QCOMPARE(error.status(), 503);
    } catch (const OperationCancelled &) {
        QVERIFY(cancel);
    }

    QCOMPARE(service().requestCount("POST", abortPath), 1);
    QCOMPARE(service().requestCount("POST", completePath), 0);
    // The drive holds the old content, or no file at all.
    const auto files = runAsync(account.drive.files(std::nullopt));
    QCOMPARE(files, before ? std::vector<DriveFile>{*before} : std::vector<DriveFile>{});
    if (before)
        QCOMPARE(download(account, *before), QByteArray("la version d'avant"));
    verifyNothingLeft(account.email, before ? 1 : 0);
}

void TestServiceUploads::fileStateRefusesReplace_data()
{
    QTest::addColumn<QString>("state"); // what the web site did to the file, or "quota"
    QTest::addColumn<DriveError>("expected");
    QTest::newRow("open in the online editor") << u"locked"_qs << DriveError::locked();
    QTest::newRow("in reinforced storage") << u"reinforced"_qs << DriveError::reinforced();
    QTest::newRow("archived") << u"glacier"_qs << DriveError::archived();
    QTest::newRow("no room left") << u"quota"_qs << DriveError::insufficientQuota();
}

void TestServiceUploads::fileStateRefusesReplace()
{
    QFETCH(QString, state);
    QFETCH(DriveError, expected);
    const DriveAccount account = signedInAccount(u"state"_qs, 1);
    const DriveFile original = service().putFile(account.email, u"plan.odt"_qs, "v1");
    if (state != u"quota")
        service().setFileState(account.email, original.id, state);

    const LocalFile local(state == u"quota" ? 2 * MiB : 64, 5);
    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(account.drive.replaceContent(original, local.content(), {}, {}), uploadCeiling),
        expected);
    QCOMPARE(onlyFileInFeed(account), version(original));
    verifyNothingLeft(account.email, 1);
}

QTEST_GUILESS_MAIN(TestServiceUploads)
#include "test_service_uploads.moc"
