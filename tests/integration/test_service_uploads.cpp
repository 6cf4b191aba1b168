// SPDX-License-Identifier: GPL-3.0-or-later
// Uploads through the real client into the real local service, from real files: what is stored
// is what was sent, whichever way it went (one request or parts, either side of 16 MiB, after a
// 413), with its hash and upload date visible to listings, downloads and the change feed; and
// every refusal of the drive (a stale version, an archived, reinforced or locked file, the
// quota, a name taken) reaches the caller as its own error with the drive left as it was.
#include "AsyncTest.h"
#include "DriveControls.h"
#include "LocalService.h"
#include "LocalUploadFile.h"
#include "ServiceClient.h"
#include "errors/DriveError.h"
#include "sync/ContentVersion.h"

#include <QTest>

#include <functional>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 directLimit = DriveAPI::directUploadLimit;
// Sixteen mebibytes and a byte, sent twice over, take a moment on a loaded machine.
constexpr auto uploadCeiling = 20s;

const QString directPath = QStringLiteral("/api/v1/drive/upload/file");
const QString initPath = QStringLiteral("/api/v1/drive/upload/multipart/init");
const QString presignPath = QStringLiteral("/api/v1/drive/upload/multipart/presign");
const QString abortPath = QStringLiteral("/api/v1/drive/upload/multipart/abort");

QString replacePath(qint64 id)
{
    return QStringLiteral("/api/v1/drive/files/%1/content").arg(id);
}

// A file put on the drive by the service's controls, in the standard class.
DriveControls::NewFile plainFile(const QString &name, const QByteArray &content)
{
    DriveControls::NewFile file;
    file.name = name;
    file.content = content;
    return file;
}

// What a refusal row changes on the drive before the replace it expects refused, and the
// precondition that replace carries.
struct RefusalScene {
    DriveControls &controls;
    const DriveAccount &account;
    DriveFile original;
    ReplacePrecondition precondition;
};
using Refusal = std::function<void(RefusalScene &)>;

// The DriveError an upload ends with; none when it succeeds.
template <class T>
std::optional<DriveError> failureOf(QCoro::Task<T> task)
{
    try {
        runAsync(std::move(task), uploadCeiling);
    } catch (const DriveError &error) {
        return error;
    }
    return std::nullopt;
}

} // namespace

Q_DECLARE_METATYPE(Refusal)
Q_DECLARE_METATYPE(OrvelanNimbal::DriveError::Kind)

class TestServiceUploads : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void storedAsSent_data();
    void storedAsSent();
    void uploadsReachTheFeedAndTheQuota();
    void tooLargeForOneRequestGoesInParts_data();
    void tooLargeForOneRequestGoesInParts();
    void refusedReplacementsChangeNothing_data();
    void refusedReplacementsChangeNothing();
    void refusedCreationsLeaveNothing_data();
    void refusedCreationsLeaveNothing();

private:
    QByteArray download(const DriveAccount &account, const DriveFile &file)
    {
        HttpRequest request;
        request.url = runAsync(account.drive.contentURL(file)).url;
        return runAsync(account.client->sendExternal(request)).body;
    }

    std::optional<DriveFile> listed(const DriveAccount &account, qint64 id)
    {
        for (const DriveFile &file : runAsync(account.drive.files(std::nullopt))) {
            if (file.id == id)
                return file;
        }
        return std::nullopt;
    }

    // Nothing of an upload in progress is left, and the content folder holds `contents` files.
    void verifyNothingLeft(const QString &email, int contents)
    {
        const DriveControls::Leftovers left = m_controls->leftovers(email);
        QCOMPARE(left.uploads, 0);
        QCOMPARE(left.parts, 0);
        QCOMPARE(left.partFiles, 0);
        QCOMPARE(left.contentFiles, contents);
    }

    std::unique_ptr<LocalService> m_service;
    std::unique_ptr<KeychainScope> m_keychain;
    std::unique_ptr<DriveControls> m_controls;
};

void TestServiceUploads::initTestCase()
{
    for (const QString &reason :
         {LocalService::unavailableReason(), KeychainScope::unavailableReason()}) {
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
    }
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_keychain = std::make_unique<KeychainScope>();
    m_controls = std::make_unique<DriveControls>(*m_service);
}

void TestServiceUploads::cleanup()
{
    m_service->reset();
}

void TestServiceUploads::storedAsSent_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<int>("parts"); // 0: one direct request
    QTest::addColumn<QList<qint64>>("progress");

    for (const bool replace : {false, true}) {
        const char *verb = replace ? "replace" : "create";
        QTest::addRow("%s, empty", verb) << replace << qint64(0) << 0 << QList<qint64>{0};
        QTest::addRow("%s, a few bytes", verb) << replace << qint64(11) << 0 << QList<qint64>{11};
        QTest::addRow("%s, 16 MiB in one request", verb)
            << replace << directLimit << 0 << QList<qint64>{directLimit};
        QTest::addRow("%s, 16 MiB + 1 in three parts", verb)
            << replace << directLimit + 1 << 3 << QList<qint64>{8 * MiB, 16 * MiB, directLimit + 1};
    }
}

void TestServiceUploads::storedAsSent()
{
    QFETCH(bool, replace);
    QFETCH(qint64, size);
    QFETCH(int, parts);
    QFETCH(QList<qint64>, progress);
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"stored"_qs);
    const LocalUploadFile local(generatedContent(size, quint32(size)));
    QList<qint64> reported;
    const auto record = [&](qint64 sent) { reported.append(sent); };

    DriveFile uploaded;
    std::optional<qint64> previousUpload;
    if (replace) {
        const DriveFile original =
            m_controls->putFile(account.email, plainFile(u"rapport.odt"_qs, "version 1"));
        previousUpload = original.uploadTimestamp;
        uploaded =
            runAsync(account.drive.replaceContent(
                         original, local.localContent(),
                         ContentVersion::precondition(ContentVersion::token(original)), record),
                     uploadCeiling);
        QCOMPARE(uploaded.id, original.id);
        QCOMPARE(uploaded.name, original.name);
        QCOMPARE(m_service->requestCount("PUT", replacePath(original.id)), parts > 0 ? 0 : 1);
    } else {
        uploaded = runAsync(
            account.drive.createFile(u"rapport.odt"_qs, std::nullopt, local.localContent(), record),
            uploadCeiling);
        QCOMPARE(m_service->requestCount("POST", directPath), parts > 0 ? 0 : 1);
    }
    QCOMPARE(m_service->requestCount("POST", initPath), parts > 0 ? 1 : 0);
    QCOMPARE(m_service->requestCount("POST", presignPath), parts);
    QCOMPARE(reported, progress);

    QCOMPARE(uploaded.size, size);
    QCOMPARE(uploaded.contentHash, std::optional(local.localContent().contentHash));
    QVERIFY(uploaded.uploadTimestamp);
    if (previousUpload) // a version a client saw is never the version after a replace
        QVERIFY(*uploaded.uploadTimestamp > *previousUpload);
    const std::optional<DriveFile> seen = listed(account, uploaded.id);
    QVERIFY(seen);
    QCOMPARE(seen->size, size);
    QCOMPARE(seen->contentHash, uploaded.contentHash);
    QCOMPARE(seen->uploadTimestamp, uploaded.uploadTimestamp);
    QCOMPARE(seen->storageKey, uploaded.storageKey);
    QVERIFY(download(account, uploaded) == local.content());
    // The content replaced is gone with the version it was.
    verifyNothingLeft(account.email, 1);
}

void TestServiceUploads::uploadsReachTheFeedAndTheQuota()
{
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"feed"_qs);
    const qint64 start = runAsync(account.drive.changes(0)).cursor;
    const LocalUploadFile first(generatedContent(3 * MiB, 3));
    const DriveFile created =
        runAsync(account.drive.createFile(u"plan.pdf"_qs, std::nullopt, first.localContent(), {}));

    const DriveChanges afterCreate = runAsync(account.drive.changes(start));
    QCOMPARE(afterCreate.files.size(), size_t(1));
    QCOMPARE(afterCreate.files[0].uploadTimestamp, created.uploadTimestamp);
    QCOMPARE(runAsync(account.drive.quota()).usedMegabytes, 3.0);

    const LocalUploadFile second(generatedContent(directLimit + MiB, 4));
    const DriveFile replaced = runAsync(
        account.drive.replaceContent(created, second.localContent(), {}, {}), uploadCeiling);
    const DriveChanges afterReplace = runAsync(account.drive.changes(afterCreate.cursor));
    QCOMPARE(afterReplace.files.size(), size_t(1));
    QCOMPARE(afterReplace.files[0].contentHash, replaced.contentHash);
    QCOMPARE(afterReplace.files[0].uploadTimestamp, replaced.uploadTimestamp);
    QCOMPARE(runAsync(account.drive.quota()).usedMegabytes, 17.0);
}

void TestServiceUploads::tooLargeForOneRequestGoesInParts_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<qint64>("size");

    QTest::newRow("create, 5 bytes") << false << qint64(5);
    QTest::newRow("create, empty") << false << qint64(0);
    QTest::newRow("replace, 5 bytes") << true << qint64(5);
}

void TestServiceUploads::tooLargeForOneRequestGoesInParts()
{
    QFETCH(bool, replace);
    QFETCH(qint64, size);
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"too-large"_qs);
    const LocalUploadFile local(generatedContent(size, 5));

    DriveFile uploaded;
    if (replace) {
        const DriveFile original =
            m_controls->putFile(account.email, plainFile(u"notes.txt"_qs, "avant"));
        m_service->injectFault("PUT", replacePath(original.id),
                               LocalService::Fault::withStatus(413));
        uploaded = runAsync(account.drive.replaceContent(original, local.localContent(), {}, {}));
    } else {
        m_service->injectFault("POST", directPath, LocalService::Fault::withStatus(413));
        uploaded = runAsync(
            account.drive.createFile(u"notes.txt"_qs, std::nullopt, local.localContent(), {}));
    }
    QCOMPARE(m_service->requestCount("POST", initPath), 1);
    QCOMPARE(m_service->requestCount("POST", presignPath), size > 0 ? 1 : 0);
    QCOMPARE(uploaded.contentHash, std::optional(local.localContent().contentHash));
    QVERIFY(download(account, uploaded) == local.content());
    verifyNothingLeft(account.email, 1);
}

void TestServiceUploads::refusedReplacementsChangeNothing_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<Refusal>("refusal");
    QTest::addColumn<DriveError::Kind>("expected");

    const Refusal editedElsewhere = [this](RefusalScene &scene) {
        const LocalUploadFile other(generatedContent(64, 9));
        const DriveFile edited = runAsync(
            scene.account.drive.replaceContent(scene.original, other.localContent(), {}, {}));
        scene.original = edited; // what the drive must still hold afterwards
    };
    const Refusal staleHash = [](RefusalScene &scene) {
        scene.precondition = ContentVersion::precondition(QStringLiteral("h:") + QString(64, u'0'));
    };
    const auto flagged = [this](DriveControls::Flags flags) {
        return Refusal([this, flags](RefusalScene &scene) {
            scene.original = m_controls->setFlags(scene.account.email, scene.original.id, flags);
        });
    };
    // The quota is 17 MiB; a filler leaves one byte too few for the new content.
    const auto filled = [](qint64 size) {
        return Refusal([size](RefusalScene &scene) {
            const qint64 filler = 17 * MiB - size + 1;
            scene.controls.putFile(scene.account.email,
                                   plainFile(u"remplissage"_qs, QByteArray(filler, 'q')));
        });
    };

    for (const qint64 size : {qint64(4096), directLimit + 1}) {
        const char *way = size > directLimit ? "in parts" : "direct";
        QTest::addRow("edited elsewhere since, %s", way)
            << size << editedElsewhere << DriveError::Kind::versionConflict;
        QTest::addRow("another hash expected, %s", way)
            << size << staleHash << DriveError::Kind::versionConflict;
        QTest::addRow("archived, %s", way)
            << size << flagged({std::nullopt, std::nullopt, u"glacier"_qs})
            << DriveError::Kind::archived;
        QTest::addRow("reinforced, %s", way)
            << size << flagged({std::nullopt, true, {}}) << DriveError::Kind::reinforced;
        QTest::addRow("locked, %s", way)
            << size << flagged({true, std::nullopt, {}}) << DriveError::Kind::locked;
        QTest::addRow("beyond the quota, %s", way)
            << size << filled(size) << DriveError::Kind::insufficientQuota;
    }
}

void TestServiceUploads::refusedReplacementsChangeNothing()
{
    QFETCH(qint64, size);
    QFETCH(Refusal, refusal);
    QFETCH(DriveError::Kind, expected);
    const DriveAccount account =
        signedInDriveAccount(*m_service, *m_keychain, u"refused-replace"_qs, 17);
    const DriveFile original =
        m_controls->putFile(account.email, plainFile(u"budget.ods"_qs, "chiffres"));
    RefusalScene scene{*m_controls, account, original,
                       ContentVersion::precondition(ContentVersion::token(original))};
    refusal(scene);
    const bool readable = scene.original.storageClass == StorageClass::standard;
    const QByteArray before = readable ? download(account, scene.original) : QByteArray();
    const int contents = m_controls->leftovers(account.email).contentFiles;

    const LocalUploadFile local(generatedContent(size, 7));
    const auto failure = failureOf(
        account.drive.replaceContent(original, local.localContent(), scene.precondition, {}));
    QVERIFY(failure);
    QCOMPARE(failure->kind(), expected);

    const std::optional<DriveFile> seen = listed(account, original.id);
    QVERIFY(seen);
    QCOMPARE(seen->contentHash, scene.original.contentHash);
    QCOMPARE(seen->uploadTimestamp, scene.original.uploadTimestamp);
    if (readable)
        QVERIFY(download(account, *seen) == before);
    QCOMPARE(m_service->requestCount("POST", abortPath), size > directLimit ? 1 : 0);
    verifyNothingLeft(account.email, contents);
}

void TestServiceUploads::refusedCreationsLeaveNothing_data()
{
    QTest::addColumn<qint64>("quotaMegabytes");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("nameTaken");
    QTest::addColumn<DriveError::Kind>("expected");

    // The drive already holds 8 MiB. The quota is found short when the content arrives, or,
    // for a file larger than the whole quota, as soon as the upload opens.
    const auto quota = DriveError::Kind::insufficientQuota;
    const auto conflict = DriveError::Kind::versionConflict;
    QTest::newRow("beyond the quota, direct") << qint64(16) << 12 * MiB << false << quota;
    QTest::newRow("beyond the quota, in parts") << qint64(24) << directLimit + 1 << false << quota;
    QTest::newRow("larger than the quota") << qint64(16) << directLimit + 1 << false << quota;
    QTest::newRow("name taken, direct") << qint64(64) << qint64(100) << true << conflict;
    QTest::newRow("name taken, in parts") << qint64(64) << directLimit + 1 << true << conflict;
}

void TestServiceUploads::refusedCreationsLeaveNothing()
{
    QFETCH(qint64, quotaMegabytes);
    QFETCH(qint64, size);
    QFETCH(bool, nameTaken);
    QFETCH(DriveError::Kind, expected);
    const DriveAccount account =
        signedInDriveAccount(*m_service, *m_keychain, u"refused-create"_qs, quotaMegabytes);
    const QString existing = nameTaken ? u"photo.jpg"_qs : u"autre.bin"_qs;
    m_controls->putFile(account.email, plainFile(existing, QByteArray(8 * MiB, 'p')));

    const LocalUploadFile local(generatedContent(size, 11));
    const auto failure = failureOf(
        account.drive.createFile(u"photo.jpg"_qs, std::nullopt, local.localContent(), {}));
    QVERIFY(failure);
    QCOMPARE(failure->kind(), expected);
    // A refused completion is not abandoned by the client (the file might exist): the service
    // ends the upload itself.
    QCOMPARE(runAsync(account.drive.files(std::nullopt)).size(), size_t(1));
    verifyNothingLeft(account.email, 1);
}

QTEST_GUILESS_MAIN(TestServiceUploads)
#include "test_service_uploads.moc"
