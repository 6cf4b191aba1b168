// SPDX-License-Identifier: GPL-3.0-or-later
// Uploads that fail: the error the caller gets, and whether the upload is abandoned.
#include "DriveModelsTesting.h"
#include "FakeUploadService.h"
#include "errors/FileError.h"

#include <QFile>
#include <QTimer>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

using Reply = FakeUploadService::Reply;

// An upload under way, which a row spoils before it starts or after its first part.
struct Upload {
    FakeUploadService service;
    CancellationSource cancel;
    QString path;
    std::function<void()> afterPart = [] {};
};
using Sabotage = std::function<void(Upload &)>;

// A failure as the rows name it: the case, its status and its payload, which decide equality.
QString said(const DriveError &error)
{
    return debugName(error) + u' ' + error.text();
}

// How an upload ended: "success", "cancelled", "file error", or the DriveError said.
QString endingOf(QCoro::Task<DriveFile> task)
{
    try {
        runAsync(std::move(task));
        return QStringLiteral("success");
    } catch (const DriveError &error) {
        return said(error);
    } catch (const OperationCancelled &) {
        return QStringLiteral("cancelled");
    } catch (const FileError &) {
        return QStringLiteral("file error");
    }
}

// The steps answer these replies to every request.
Sabotage answers(std::initializer_list<std::pair<const char *, Reply>> replies)
{
    return [replies = std::vector(replies)](Upload &upload) {
        for (const auto &[step, scripted] : replies)
            upload.service.routes[QString::fromLatin1(step)] = [reply = scripted](auto &) {
                return reply;
            };
    };
}

Sabotage afterFirstPart(std::function<void(Upload &)> action)
{
    return [action](Upload &upload) { upload.afterPart = [&upload, action] { action(upload); }; };
}

const Reply tooLarge = Reply::withStatus(413);
const QString noETag =
    said(DriveError::decoding(QStringLiteral("ETag absent de la réponse du stockage")));
const QString fileChanged =
    said(DriveError::transport(QStringLiteral("le fichier a changé pendant l'envoi")));
const QString cancelled = QStringLiteral("cancelled");
const QString fileError = QStringLiteral("file error");

void addRow(const char *name, bool replace, qint64 size, Sabotage sabotage, const QString &ending,
            const char *steps)
{
    QTest::newRow(name) << replace << size << sabotage << ending << QString::fromLatin1(steps);
}

} // namespace

class TestUploadFailures : public QObject {
    Q_OBJECT

private slots:
    void failures_data();
    void failures();
};

void TestUploadFailures::failures_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<Sabotage>("sabotage");
    QTest::addColumn<QString>("ending");
    QTest::addColumn<QString>("steps");

    // Every failure of the part loop abandons the upload.
    const qint64 parts = 17 * 1024 * 1024; // 8 MiB, 8 MiB, 1 MiB
    const bool create = false, replace = true;
    addRow("storage answer without ETag", create, parts, answers({{"part", Reply::ok({})}}), noETag,
           "open presign presign part abort");
    addRow("replace: storage answer without ETag", replace, parts,
           answers({{"part", Reply::ok({})}}), noETag, "open presign presign part abort");
    addRow("empty ETag", create, parts,
           answers({{"part", Reply::withStatus(200, {}, {{"ETag", ""}})}}), noETag,
           "open presign presign part abort");
    addRow("part URL to a local file", create, parts,
           answers({{"presign", Reply::ok(R"({"url":"file:///tmp/p"})")}}),
           said(DriveError::decoding(QStringLiteral("URL de part invalide"))),
           "open presign abort");
    addRow("storage failing after retries", create, parts,
           answers({{"part", Reply::withStatus(503, "busy")}}),
           said(DriveError::http(503, QStringLiteral("busy"))),
           "open presign presign part part part abort");
    addRow("presign failing after retries", create, parts,
           answers({{"presign", Reply::withStatus(500)}}), said(DriveError::http(500, {})),
           "open presign presign presign abort");
    addRow("file shrinks to a part boundary", create, parts,
           afterFirstPart([](Upload &upload) { QFile::resize(upload.path, 8388608); }), fileChanged,
           "open presign presign part abort");
    addRow("cancelled between parts", create, parts,
           afterFirstPart([](Upload &upload) { upload.cancel.cancel(); }), cancelled,
           "open presign presign part abort");
    addRow(
        "cancelled while a part is sent", create, parts,
        [](Upload &upload) {
            upload.service.routes[QStringLiteral("part")] = [&upload](const HttpRequest &) {
                QTimer::singleShot(0, qApp, [&upload] { upload.cancel.cancel(); });
                return Reply::hang();
            };
        },
        cancelled, "open presign presign part abort");
    addRow(
        "file gone before the parts", create, parts,
        [](Upload &upload) { QFile::remove(upload.path); }, fileError, "open abort");
    addRow("abort refused as well", create, parts,
           answers({{"part", Reply::ok({})}, {"abort", Reply::withStatus(500)}}), noETag,
           "open presign presign part abort abort abort");

    // A create whose finish failed may exist on the service all the same: it is left alone. A
    // refused replace leaves the old content: its parts are abandoned.
    addRow("create: finish failing", create, 5,
           answers({{"directCreate", tooLarge}, {"finishCreate", Reply::withStatus(500)}}),
           said(DriveError::http(500, {})),
           "directCreate open presign part finishCreate finishCreate finishCreate");
    addRow("replace: version conflict at the finish", replace, 5,
           answers({{"directReplace", tooLarge}, {"finishReplace", Reply::withStatus(409)}}),
           said(DriveError::versionConflict()),
           "directReplace open presign part finishReplace abort");

    // A direct upload is sent once: a 5xx is not retried, and only 413 leads to parts.
    addRow("create: service failing", create, 5,
           answers({{"directCreate", Reply::withStatus(503)}}), said(DriveError::http(503, {})),
           "directCreate");
    addRow("replace: version conflict", replace, 5,
           answers({{"directReplace", Reply::withStatus(409)}}),
           said(DriveError::versionConflict()), "directReplace");
    addRow(
        "create: file gone", create, 5, [](Upload &upload) { QFile::remove(upload.path); },
        fileError, "");
    addRow(
        "create: file shorter than announced", create, 5,
        [](Upload &upload) { QFile::resize(upload.path, 4); }, fileChanged, "");
}

// Runs the row's upload against a healthy service spoilt by the row's sabotage.
void TestUploadFailures::failures()
{
    QFETCH(bool, replace);
    QFETCH(qint64, size);
    QFETCH(Sabotage, sabotage);
    QFETCH(QString, ending);
    QFETCH(QString, steps);

    Upload upload;
    const DriveAPI::LocalContent content = upload.service.localFile(generatedContent(size));
    upload.path = content.url.toLocalFile();
    sabotage(upload);
    const auto progress = [&upload](qint64) { upload.afterPart(); };
    const DriveAPI &api = upload.service.api;
    QCOMPARE(replace ? endingOf(api.replaceContent(driveFile(77, QStringLiteral("Plan.pdf")),
                                                   content, {}, progress, upload.cancel.token()))
                     : endingOf(api.createFile(QStringLiteral("a.bin"), 3, content, progress,
                                               upload.cancel.token())),
             ending);
    QCOMPARE(upload.service.steps(), steps);
    for (const HttpRequest &abort : upload.service.requests(QStringLiteral("abort")))
        QCOMPARE(abort.body.toByteArray(), QByteArray(R"({"s3_key":"k/multi","upload_id":"U1"})"));
}

QTEST_GUILESS_MAIN(TestUploadFailures)
#include "test_upload_failures.moc"
