// SPDX-License-Identifier: GPL-3.0-or-later
// Uploads that fail: the error the caller gets, and whether the upload is abandoned.
#include "DriveModelsTesting.h"
#include "FakeUploadService.h"
#include "LocalUploadFile.h"
#include "errors/FileError.h"

#include <QFile>
#include <QTimer>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

// What a row does to the service, the file or the caller before and during the upload.
struct Setup {
    FakeUploadService &service;
    CancellationSource &cancel;
    QString path;
    std::function<void()> afterPart = [] {};
};
using Sabotage = std::function<void(Setup &)>;
using Reply = FakeUploadService::Reply;

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

Sabotage route(const char *step, Reply reply)
{
    return [step = QString::fromLatin1(step), reply](Setup &setup) {
        setup.service.routes[step] = [reply](const HttpRequest &) { return reply; };
    };
}

Sabotage both(Sabotage first, Sabotage second)
{
    return [=](Setup &setup) {
        first(setup);
        second(setup);
    };
}

Sabotage afterFirstPart(std::function<void(Setup &)> action)
{
    return [action](Setup &setup) { setup.afterPart = [&setup, action] { action(setup); }; };
}

Reply presigned(const char *url)
{
    return Reply::ok(R"({"url":")" + QByteArray(url) + R"("})");
}

const QString noETag =
    said(DriveError::decoding(QStringLiteral("ETag absent de la réponse du stockage")));
const QString badPartURL = said(DriveError::decoding(QStringLiteral("URL de part invalide")));
const QString fileChanged =
    said(DriveError::transport(QStringLiteral("le fichier a changé pendant l'envoi")));
const QString http500 = said(DriveError::http(500, {}));
const QString cancelled = QStringLiteral("cancelled");
const QString fileError = QStringLiteral("file error");

void addRow(const char *name, bool replace, qint64 size, Sabotage sabotage, const QString &ending,
            const char *steps)
{
    QTest::newRow(name) << replace << size << sabotage << ending << names(steps);
}

} // namespace

Q_DECLARE_METATYPE(Sabotage)

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
    QTest::addColumn<QStringList>("steps");

    // Every failure of the part loop abandons the upload.
    const qint64 parts = 17 * 1024 * 1024; // 8 MiB, 8 MiB, 1 MiB
    const bool create = false, replace = true;
    addRow("storage answer without ETag", create, parts, route("part", Reply::ok({})), noETag,
           "open presign presign part abort");
    addRow("replace: storage answer without ETag", replace, parts, route("part", Reply::ok({})),
           noETag, "open presign presign part abort");
    addRow("empty ETag", create, parts, route("part", Reply::withStatus(200, {}, {{"ETag", ""}})),
           noETag, "open presign presign part abort");
    addRow("part URL that does not parse", create, parts,
           route("presign", presigned("https://exa mple.test/p")), badPartURL,
           "open presign abort");
    addRow("part URL to a local file", create, parts, route("presign", presigned("file:///tmp/p")),
           badPartURL, "open presign abort");
    addRow("storage failing after retries", create, parts,
           route("part", Reply::withStatus(503, "busy")),
           said(DriveError::http(503, QStringLiteral("busy"))),
           "open presign presign part part part abort");
    addRow("presign failing after retries", create, parts, route("presign", Reply::withStatus(500)),
           http500, "open presign presign presign abort");
    addRow("file shrinks to a part boundary", create, parts,
           afterFirstPart([](Setup &setup) { QFile::resize(setup.path, 8388608); }), fileChanged,
           "open presign presign part abort");
    addRow("cancelled between parts", create, parts,
           afterFirstPart([](Setup &setup) { setup.cancel.cancel(); }), cancelled,
           "open presign presign part abort");
    addRow(
        "cancelled while a part is sent", create, parts,
        [](Setup &setup) {
            setup.service.routes[QStringLiteral("part")] = [&setup](const HttpRequest &) {
                QTimer::singleShot(0, [&setup] { setup.cancel.cancel(); });
                return Reply::hang();
            };
        },
        cancelled, "open presign presign part abort");
    addRow(
        "file gone before the parts", create, parts,
        [](Setup &setup) { QFile::remove(setup.path); }, fileError, "open abort");
    addRow("abort refused as well", create, parts,
           both(route("part", Reply::ok({})), route("abort", Reply::withStatus(500))), noETag,
           "open presign presign part abort abort abort");

    // A create whose finish failed may exist on the service all the same: it is left alone. A
    // refused replace leaves the old content: its parts are abandoned.
    addRow("create: finish failing", create, 5,
           both(route("directCreate", Reply::withStatus(413)),
                route("finishCreate", Reply::withStatus(500))),
           http500, "directCreate open presign part finishCreate finishCreate finishCreate");
    addRow("replace: version conflict at the finish", replace, 5,
           both(route("directReplace", Reply::withStatus(413)),
                route("finishReplace", Reply::withStatus(409))),
           said(DriveError::versionConflict()),
           "directReplace open presign part finishReplace abort");

    // A direct upload is sent once: a 5xx is not retried, and only 413 leads to parts.
    addRow("create: service failing", create, 5, route("directCreate", Reply::withStatus(503)),
           said(DriveError::http(503, {})), "directCreate");
    addRow("replace: version conflict", replace, 5, route("directReplace", Reply::withStatus(409)),
           said(DriveError::versionConflict()), "directReplace");
    addRow(
        "create: file gone", create, 5, [](Setup &setup) { QFile::remove(setup.path); }, fileError,
        "");
    addRow(
        "create: file shorter than announced", create, 5,
        [](Setup &setup) { QFile::resize(setup.path, 4); }, fileChanged, "");
}

// Runs the row's upload against a healthy service spoilt by the row's sabotage.
void TestUploadFailures::failures()
{
    QFETCH(bool, replace);
    QFETCH(qint64, size);
    QFETCH(Sabotage, sabotage);
    QFETCH(QString, ending);
    QFETCH(QStringList, steps);

    FakeUploadService service;
    CancellationSource cancel;
    const DriveAPI::LocalContent content = service.localFile(generatedContent(size));
    Setup setup{service, cancel, content.url.toLocalFile()};
    sabotage(setup);
    const auto progress = [&setup](qint64) { setup.afterPart(); };
    const DriveFile existing = driveFile(77, QStringLiteral("Plan.pdf"));
    const QString ended =
        replace
            ? endingOf(service.api.replaceContent(existing, content, {}, progress, cancel.token()))
            : endingOf(service.api.createFile(QStringLiteral("a.bin"), 3, content, progress,
                                              cancel.token()));

    QCOMPARE(ended, ending);
    QCOMPARE(service.steps(), steps);
    for (const HttpRequest &abort : service.requests(QStringLiteral("abort")))
        QCOMPARE(abort.body, QByteArray(R"({"s3_key":"k/multi","upload_id":"U1"})"));
}

QTEST_GUILESS_MAIN(TestUploadFailures)
#include "test_upload_failures.moc"
