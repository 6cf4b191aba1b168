// SPDX-License-Identifier: GPL-3.0-or-later
// Multipart uploads that go wrong half-way, against the real local service and real files: the
// storage failing beyond the client's retries, answering without an ETag or losing a part, the
// caller cancelling between parts, the file shrinking or changing on disk while it is sent.
// Each ends with the error the caller must see, no file created (or the old content kept), and
// nothing of the upload left on the service.
#include "AsyncTest.h"
#include "DriveControls.h"
#include "LocalService.h"
#include "LocalUploadFile.h"
#include "ServiceClient.h"
#include "errors/DriveError.h"

#include <QTest>

#include <functional>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

constexpr qint64 MiB = 1024 * 1024;
// Three parts: 8, 8 and 4 MiB. Every mishap below strikes once the first is stored.
constexpr qint64 uploadSize = 20 * MiB;
constexpr auto uploadCeiling = 20s;

const QString abortPath = QStringLiteral("/api/v1/drive/upload/multipart/abort");
const QString completePath = QStringLiteral("/api/v1/drive/upload/multipart/complete");

// What happens to the upload once its first part is stored.
using Mishap = std::function<void(DriveControls &, LocalUploadFile &)>;

Mishap storage(DriveControls::StorageFault fault, int count)
{
    return [fault, count](DriveControls &controls, LocalUploadFile &) {
        controls.storageFault(fault, count);
    };
}

} // namespace

Q_DECLARE_METATYPE(Mishap)
Q_DECLARE_METATYPE(OrvelanNimbal::DriveError::Kind)

class TestServiceUploadFailures : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void failuresHalfWayLeaveNothing_data();
    void failuresHalfWayLeaveNothing();
    void storageHiccupsAreRetried();
    void cancelledBetweenParts_data();
    void cancelledBetweenParts();

private:
    struct Outcome {
        std::optional<DriveError> error;
        bool cancelled = false;
    };

    // Uploads `local` as a new file, or over `original`, calling `afterFirstPart` once the
    // first part is stored.
    Outcome upload(const DriveAccount &account, const std::optional<DriveFile> &original,
                   LocalUploadFile &local, std::function<void()> afterFirstPart,
                   CancellationToken cancel = {})
    {
        bool first = true;
        const auto progress = [&](qint64) {
            if (std::exchange(first, false))
                afterFirstPart();
        };
        Outcome outcome;
        try {
            if (original)
                runAsync(account.drive.replaceContent(*original, local.localContent(), {}, progress,
                                                      cancel),
                         uploadCeiling);
            else
                runAsync(account.drive.createFile(u"film.mkv"_qs, std::nullopt,
                                                  local.localContent(), progress, cancel),
                         uploadCeiling);
        } catch (const DriveError &error) {
            outcome.error = error;
        } catch (const OperationCancelled &) {
            outcome.cancelled = true;
        }
        return outcome;
    }

    std::optional<DriveFile> original(const DriveAccount &account, bool replace)
    {
        if (!replace)
            return std::nullopt;
        DriveControls::NewFile file;
        file.name = u"film.mkv"_qs;
        file.content = "la version d'avant";
        return m_controls->putFile(account.email, file);
    }

    // The drive holds the old content (or no file at all), and nothing of the upload is left.
    void verifyDriveAsBefore(const DriveAccount &account, const std::optional<DriveFile> &before)
    {
        const std::vector<DriveFile> files = runAsync(account.drive.files(std::nullopt));
        QCOMPARE(files.size(), size_t(before ? 1 : 0));
        if (before) {
            QCOMPARE(files[0].contentHash, before->contentHash);
            QCOMPARE(files[0].uploadTimestamp, before->uploadTimestamp);
            HttpRequest request;
            request.url = runAsync(account.drive.contentURL(files[0])).url;
            QCOMPARE(runAsync(account.client->sendExternal(request)).body,
                     QByteArray("la version d'avant"));
        }
        const DriveControls::Leftovers left = m_controls->leftovers(account.email);
        QCOMPARE(left.uploads, 0);
        QCOMPARE(left.parts, 0);
        QCOMPARE(left.partFiles, 0);
        QCOMPARE(left.contentFiles, before ? 1 : 0);
    }

    std::unique_ptr<LocalService> m_service;
    std::unique_ptr<KeychainScope> m_keychain;
    std::unique_ptr<DriveControls> m_controls;
};

void TestServiceUploadFailures::initTestCase()
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

void TestServiceUploadFailures::cleanup()
{
    m_service->reset();
}

void TestServiceUploadFailures::failuresHalfWayLeaveNothing_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<Mishap>("mishap");
    QTest::addColumn<DriveError::Kind>("kind");
    QTest::addColumn<int>("status");        // of an http error
    QTest::addColumn<QString>("text");      // of another error; empty: not compared
    QTest::addColumn<bool>("clientAborts"); // else the service ends the refused upload itself

    using Fault = DriveControls::StorageFault;
    for (const bool replace : {false, true}) {
        const char *verb = replace ? "replace" : "create";
        QTest::addRow("%s, storage down beyond the retries", verb)
            << replace << storage(Fault::fail, 3) << DriveError::Kind::http << 503 << QString()
            << true;
        QTest::addRow("%s, no ETag", verb)
            << replace << storage(Fault::omitETag, 1) << DriveError::Kind::decoding << 0
            << u"ETag absent de la réponse du stockage"_qs << true;
        // The storage said it kept the part: only the completion finds it missing.
        QTest::addRow("%s, a part lost", verb)
            << replace << storage(Fault::drop, 1) << DriveError::Kind::http << 400 << QString()
            << replace;
        QTest::addRow("%s, file shrunk", verb)
            << replace
            << Mishap([](DriveControls &, LocalUploadFile &file) { file.truncate(10 * MiB); })
            << DriveError::Kind::transport << 0 << u"le fichier a changé pendant l'envoi"_qs
            << true;
        // Same size, other bytes: the content no longer has the hash the upload announced.
        QTest::addRow("%s, file rewritten in place", verb)
            << replace << Mishap([](DriveControls &, LocalUploadFile &file) {
                   file.overwrite(17 * MiB, QByteArray(4096, 'x'));
               })
            << DriveError::Kind::http << 400 << QString() << replace;
    }
}

void TestServiceUploadFailures::failuresHalfWayLeaveNothing()
{
    QFETCH(bool, replace);
    QFETCH(Mishap, mishap);
    QFETCH(DriveError::Kind, kind);
    QFETCH(int, status);
    QFETCH(QString, text);
    QFETCH(bool, clientAborts);
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"half-way"_qs);
    const std::optional<DriveFile> before = original(account, replace);
    LocalUploadFile local(generatedContent(uploadSize, 21));

    const Outcome outcome = upload(account, before, local, [&] { mishap(*m_controls, local); });
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->kind(), kind);
    QCOMPARE(outcome.error->status(), status);
    if (!text.isEmpty())
        QCOMPARE(outcome.error->text(), text);
    QCOMPARE(m_service->requestCount("POST", abortPath), clientAborts ? 1 : 0);
    verifyDriveAsBefore(account, before);
}

void TestServiceUploadFailures::storageHiccupsAreRetried()
{
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"hiccups"_qs);
    LocalUploadFile local(generatedContent(uploadSize, 22));
    const Outcome outcome = upload(account, std::nullopt, local, [&] {
        m_controls->storageFault(DriveControls::StorageFault::fail, 2, 500);
    });
    QVERIFY(!outcome.error);
    QCOMPARE(m_service->requestCount("POST", completePath), 1);
    const std::vector<DriveFile> files = runAsync(account.drive.files(std::nullopt));
    QCOMPARE(files.size(), size_t(1));
    QCOMPARE(files[0].contentHash, std::optional(local.localContent().contentHash));
}

void TestServiceUploadFailures::cancelledBetweenParts_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("create") << false;
    QTest::newRow("replace") << true;
}

void TestServiceUploadFailures::cancelledBetweenParts()
{
    QFETCH(bool, replace);
    const DriveAccount account = signedInDriveAccount(*m_service, *m_keychain, u"cancelled"_qs);
    const std::optional<DriveFile> before = original(account, replace);
    LocalUploadFile local(generatedContent(uploadSize, 23));
    CancellationSource source;

    const Outcome outcome = upload(
        account, before, local, [&] { source.cancel(); }, source.token());
    QVERIFY(outcome.cancelled);
    QCOMPARE(m_service->requestCount("POST", abortPath), 1);
    QCOMPARE(m_service->requestCount("POST", completePath), 0);
    verifyDriveAsBefore(account, before);
}

QTEST_GUILESS_MAIN(TestServiceUploadFailures)
#include "test_service_upload_failures.moc"
