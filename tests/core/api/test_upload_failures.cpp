// SPDX-License-Identifier: GPL-3.0-or-later
// Uploads that fail: the error the caller gets, and whether the upload is abandoned.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "FakeUploadService.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

// What a row does to the service, the file or the caller before and during the upload.
struct Setup {
    FakeUploadService &service;
    CancellationSource &cancel;
    QString path;
    std::function<void(qint64)> afterPart = [](qint64) {};
};
using Sabotage = std::function<void(Setup &)>;
using Reply = FakeUploadService::Reply;

QStringList names(const char *spaced)
{
    return QString::fromLatin1(spaced).split(u' ', Qt::SkipEmptyParts);
}

Sabotage route(const char *step, Reply reply)
{
    return [step = QString::fromLatin1(step), reply](Setup &setup) {
        setup.service.routes[step] = [reply](const HttpRequest &) { return reply; };
    };
}

// The route answers `reply` from its `nth` request on, and as usual before.
Sabotage routeFrom(const char *step, int nth, Reply reply)
{
    return [step = QString::fromLatin1(step), nth, reply](Setup &setup) {
        auto usual = setup.service.routes[step];
        auto count = std::make_shared<int>(0);
        setup.service.routes[step] = [=](const HttpRequest &request) {
            return ++*count >= nth ? reply : usual(request);
        };
    };
}

Sabotage both(Sabotage first, Sabotage second)
{
    return [=](Setup &setup) {
        first(setup);
        second(setup);
    };
}

Sabotage shrinkAfterFirstPart(qint64 newSize)
{
    return [newSize](Setup &setup) {
        setup.afterPart = [path = setup.path, newSize](qint64) { QFile::resize(path, newSize); };
    };
}

Reply presigned(const char *url)
{
    return Reply::ok(R"({"url":")" + QByteArray(url) + R"("})");
}

const Sabotage directTooLarge = route("directCreate", Reply::withStatus(413));
const DriveError noETag =
    DriveError::decoding(QStringLiteral("ETag absent de la réponse du stockage"));
const DriveError badPartURL = DriveError::decoding(QStringLiteral("URL de part invalide"));
const DriveError fileChanged =
    DriveError::transport(QStringLiteral("le fichier a changé pendant l'envoi"));

} // namespace

Q_DECLARE_METATYPE(Sabotage)
Q_DECLARE_METATYPE(OrvelanNimbal::Testing::Ending::Kind)
Q_DECLARE_METATYPE(OrvelanNimbal::DriveError)

class TestUploadFailures : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void partLoopFailuresAbandon_data();
    void partLoopFailuresAbandon();
    void finishFailures_data();
    void finishFailures();
    void directFailures_data();
    void directFailures();

private:
    void addRow(const char *name, bool replace, qint64 size, Sabotage sabotage, Ending::Kind kind,
                std::optional<DriveError> error, const char *steps);
    void run();

    QTemporaryDir m_dir;
    int m_files = 0;
};

void TestUploadFailures::addRow(const char *name, bool replace, qint64 size, Sabotage sabotage,
                                Ending::Kind kind, std::optional<DriveError> error,
                                const char *steps)
{
    QTest::newRow(name) << replace << size << sabotage << kind
                        << error.value_or(DriveError::notFound()) << names(steps);
}

// Runs the row's upload against a healthy service spoilt by the row's sabotage.
void TestUploadFailures::run()
{
    QFETCH(bool, replace);
    QFETCH(qint64, size);
    QFETCH(Sabotage, sabotage);
    QFETCH(Ending::Kind, kind);
    QFETCH(DriveError, error);
    QFETCH(QStringList, steps);

    QFile file(m_dir.filePath(QString::number(++m_files)));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(patternBytes(size)), size);
    file.close();

    FakeUploadService service;
    CancellationSource cancel;
    Setup setup{service, cancel, file.fileName()};
    sabotage(setup);
    const DriveAPI::LocalContent content{QUrl::fromLocalFile(file.fileName()), size,
                                         QStringLiteral("localhash"), QStringLiteral("text/plain")};
    const auto progress = [&setup](qint64 sent) { setup.afterPart(sent); };

    DriveFile existing;
    existing.id = 77;
    existing.name = QStringLiteral("Plan.pdf");
    const Ending ending =
        replace ? endingOf(
            service.api().replaceContent(existing, content, {}, progress, cancel.token()))
                : endingOf(service.api().createFile(QStringLiteral("a.bin"), 3, content, progress,
                                                    cancel.token()));

    QCOMPARE(ending.kind, kind);
    if (kind == Ending::driveError)
        QCOMPARE(*ending.error, error);
    QCOMPARE(service.steps(), steps);
    for (const HttpRequest &abort : service.requests(QStringLiteral("abort")))
        QCOMPARE(FakeUploadService::json(abort), FakeUploadService::abortBody());
}

void TestUploadFailures::partLoopFailuresAbandon_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<Sabotage>("sabotage");
    QTest::addColumn<Ending::Kind>("kind");
    QTest::addColumn<DriveError>("error");
    QTest::addColumn<QStringList>("steps");

    const qint64 threeParts = 17 * 1024 * 1024; // 8 MiB, 8 MiB, 1 MiB
    const auto drive = Ending::driveError;
    const bool create = false, replace = true;

    addRow("storage answer without ETag", create, threeParts, route("part", Reply::ok({})), drive,
           noETag, "open presign presign part abort");
    addRow("empty ETag", create, threeParts,
           route("part", Reply::withStatus(200, {}, {{"ETag", ""}})), drive, noETag,
           "open presign presign part abort");
    addRow("second part without ETag", create, threeParts, routeFrom("part", 2, Reply::ok({})),
           drive, noETag, "open presign presign part presign part abort");
    addRow("part URL that does not parse", create, threeParts,
           route("presign", presigned("https://exa mple.test/p")), drive, badPartURL,
           "open presign abort");
    addRow("part URL to a local file", create, threeParts,
           route("presign", presigned("file:///tmp/part")), drive, badPartURL,
           "open presign abort");
    addRow("relative part URL", create, threeParts, route("presign", presigned("part/1")), drive,
           badPartURL, "open presign abort");
    addRow("storage failing after retries", create, threeParts,
           route("part", Reply::withStatus(503, "busy")), drive,
           DriveError::http(503, QStringLiteral("busy")), "open presign presign part part part abort");
    addRow("storage refusing", create, threeParts, route("part", Reply::withStatus(403, "denied")),
           drive, DriveError::http(403, QStringLiteral("denied")), "open presign presign part abort");
    addRow("presign failing after retries", create, threeParts,
           route("presign", Reply::withStatus(500)), drive, DriveError::http(500, {}),
           "open presign presign presign abort");
    addRow("file shrinks within the next part", create, threeParts,
           shrinkAfterFirstPart(10 * 1024 * 1024), drive, fileChanged, "open presign presign part abort");
    addRow("file shrinks to a part boundary", create, threeParts, shrinkAfterFirstPart(8388608),
           drive, fileChanged, "open presign presign part abort");
    addRow("file shrinks to nothing", replace, threeParts, shrinkAfterFirstPart(0), drive,
           fileChanged, "open presign presign part abort");
    addRow(
        "cancelled between parts", create, threeParts,
        [](Setup &setup) {
            setup.afterPart = [&cancel = setup.cancel](qint64) { cancel.cancel(); };
        },
        Ending::cancelled, std::nullopt, "open presign presign part abort");
    addRow(
        "cancelled while a part is sent", create, threeParts,
        [](Setup &setup) {
            setup.service.routes[QStringLiteral("part")] = [&cancel =
                                                                setup.cancel](const HttpRequest &) {
                QTimer::singleShot(0, [&cancel] { cancel.cancel(); });
                return Reply::hang();
            };
        },
        Ending::cancelled, std::nullopt, "open presign presign part abort");
    addRow(
        "file gone before the parts", create, threeParts,
        [](Setup &setup) { QFile::remove(setup.path); }, Ending::fileError, std::nullopt,
        "open abort");
    addRow("abort refused as well", create, threeParts,
           both(route("part", Reply::ok({})), route("abort", Reply::withStatus(500))), drive,
           noETag, "open presign presign part abort abort abort");
    addRow("replace: storage answer without ETag", replace, threeParts,
           route("part", Reply::ok({})), drive, noETag, "open presign presign part abort");
    addRow(
        "replace: cancelled between parts", replace, threeParts,
        [](Setup &setup) {
            setup.afterPart = [&cancel = setup.cancel](qint64) { cancel.cancel(); };
        },
        Ending::cancelled, std::nullopt, "open presign presign part abort");
    addRow("after a 413: file gone", create, 5,
           both(directTooLarge,
                [](Setup &setup) {
                    setup.service.routes[QStringLiteral("open")] = [&setup](const HttpRequest &) {
                        QFile::remove(setup.path);
                        return Reply::ok(R"({"upload_id":"U1","s3_key":"k/multi"})");
                    };
                }),
           Ending::fileError, std::nullopt, "directCreate open abort");
}

void TestUploadFailures::partLoopFailuresAbandon()
{
    run();
}

void TestUploadFailures::finishFailures_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<Sabotage>("sabotage");
    QTest::addColumn<Ending::Kind>("kind");
    QTest::addColumn<DriveError>("error");
    QTest::addColumn<QStringList>("steps");

    const auto drive = Ending::driveError;
    const Sabotage replaceTooLarge = route("directReplace", Reply::withStatus(413));
    // A create whose finish failed may exist on the service all the same: it is left alone.
    addRow("create, service failing", false, 5,
           both(directTooLarge, route("finishCreate", Reply::withStatus(500))), drive,
           DriveError::http(500, {}),
           "directCreate open presign part finishCreate finishCreate finishCreate");
    addRow("create, quota exhausted", false, 5,
           both(directTooLarge, route("finishCreate", Reply::withStatus(507))), drive,
           DriveError::insufficientQuota(), "directCreate open presign part finishCreate");
    // A refused replace leaves the old content: its parts are abandoned.
    addRow("replace, version conflict", true, 5,
           both(replaceTooLarge, route("finishReplace", Reply::withStatus(409))), drive,
           DriveError::versionConflict(), "directReplace open presign part finishReplace abort");
    addRow("replace, archived meanwhile", true, 5,
           both(replaceTooLarge,
                route("finishReplace",
                      Reply::withStatus(409, {}, {{"X-Drive-Conflict", "archived"}}))),
           drive, DriveError::archived(), "directReplace open presign part finishReplace abort");
    addRow("replace, service failing", true, 5,
           both(replaceTooLarge, route("finishReplace", Reply::withStatus(503))), drive,
           DriveError::http(503, {}),
           "directReplace open presign part finishReplace finishReplace finishReplace abort");
}

void TestUploadFailures::finishFailures()
{
    run();
}

void TestUploadFailures::directFailures_data()
{
    QTest::addColumn<bool>("replace");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<Sabotage>("sabotage");
    QTest::addColumn<Ending::Kind>("kind");
    QTest::addColumn<DriveError>("error");
    QTest::addColumn<QStringList>("steps");

    const auto drive = Ending::driveError;
    // A direct upload is sent once: a 5xx is not retried, and only 413 leads to parts.
    addRow("create, service failing", false, 5, route("directCreate", Reply::withStatus(503)),
           drive, DriveError::http(503, {}), "directCreate");
    addRow("create, quota exhausted", false, 5, route("directCreate", Reply::withStatus(507)),
           drive, DriveError::insufficientQuota(), "directCreate");
    addRow("replace, version conflict", true, 5, route("directReplace", Reply::withStatus(409)),
           drive, DriveError::versionConflict(), "directReplace");
    addRow("replace, reinforced storage", true, 5,
           route("directReplace", Reply::withStatus(409, {}, {{"X-Drive-Conflict", "reinforced"}})),
           drive, DriveError::reinforced(), "directReplace");
    addRow("replace, open in the editor", true, 5, route("directReplace", Reply::withStatus(423)),
           drive, DriveError::locked(), "directReplace");
    addRow(
        "create, file gone", false, 5, [](Setup &setup) { QFile::remove(setup.path); },
        Ending::fileError, std::nullopt, "");
    addRow(
        "create, file shorter than announced", false, 5,
        [](Setup &setup) { QFile::resize(setup.path, 4); }, drive, fileChanged, "");
    addRow(
        "replace, file shorter than announced", true, 5,
        [](Setup &setup) { QFile::resize(setup.path, 0); }, drive, fileChanged, "");
}

void TestUploadFailures::directFailures()
{
    run();
}

QTEST_GUILESS_MAIN(TestUploadFailures)
#include "test_upload_failures.moc"
