// SPDX-License-Identifier: GPL-3.0-or-later
// A signed-in model left alone with its stream open against the local service: what it costs
// while nothing happens (resident memory, CPU time, wake-ups per second), beside curl holding the
// same stream open over the same span. Ten minutes after a minute's warm-up; --short for a quick
// look (30 s after 5 s).
#include "AsyncTest.h"
#include "InMemoryFileProviderSystem.h"
#include "LocalService.h"
#include "ModelDoubles.h"
#include "auth/InMemoryStores.h"
#include "config/OrvelanNimbal.h"
#include "idle/ProcessSample.h"
#include "model/AppModel.h"
#include "net/CurlTransport.h"
#include "system/XdgAutostartEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;
using Bench::ProcessSample;

namespace {

const QString password = QStringLiteral("bench pass phrase");

// Targets of an idle model: a few wake-ups a second at most (the activity tick is every 2 s),
// a small fraction of one core, and no growth once warm.
constexpr double wakeUpsTarget = 3.0;
constexpr double cpuPercentTarget = 0.5;
constexpr long growthTargetKilobytes = 1024;

QCoro::Task<> pause(std::chrono::milliseconds span)
{
    co_await systemClock()->sleep(span, {});
}

// NOLINTNEXTLINE(cppcoreguidelines-avoid-reference-coroutine-parameters): main() owns the model and awaits at once
QCoro::Task<> untilConnected(const AppModel &model)
{
    while (model.liveStatus() != DriveEventStream::Status::connected())
        co_await systemClock()->sleep(50ms, {});
}

// The extension's status command as the model runs it every 30 s: a shell printing one line.
QString standInTool(const QDir &folder)
{
    QString path = folder.filePath(QStringLiteral("nimbal-fileprovider"));
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        return {};
    script.write("#!/bin/sh\necho '+    " + fileProviderBundleIdentifier.toUtf8() + "(1.0)'\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

struct Use {
    double residentMiB[2];
    double cpuSeconds;
    double wakeUpsPerSecond;
};

Use useBetween(const ProcessSample &from, const ProcessSample &to, double seconds)
{
    return {{double(from.residentKilobytes) / 1024.0, double(to.residentKilobytes) / 1024.0},
            to.cpuSeconds - from.cpuSeconds,
            double(to.contextSwitches - from.contextSwitches) / seconds};
}

void print(const char *name, const Use &use, double seconds)
{
    std::printf("  %-6s resident %6.1f -> %6.1f MiB (%+.2f), CPU %6.3f s (%.3f %% of a core),"
                " %.2f wake-ups/s\n",
                name, use.residentMiB[0], use.residentMiB[1],
                use.residentMiB[1] - use.residentMiB[0], use.cpuSeconds,
                100.0 * use.cpuSeconds / seconds, use.wakeUpsPerSecond);
}

double ratio(double ours, double theirs)
{
    return theirs > 0 ? ours / theirs : 0.0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool brief = app.arguments().contains(QStringLiteral("--short"));
    const std::chrono::milliseconds warmUp = brief ? 5s : 60s;
    const std::chrono::milliseconds span = brief ? 30s : 600s;
    QLoggingCategory::setFilterRules(QStringLiteral("net.orvelan.nimbal.sync.*.info=false\n"
                                                    "net.orvelan.nimbal.sync.*.debug=false"));
    QStandardPaths::setTestModeEnabled(true); // the shared container out of the user's way
    if (qEnvironmentVariableIsEmpty("NIMBAL_SERVICE"))
        qputenv("NIMBAL_SERVICE", NIMBAL_SERVICE_PATH);
    LocalService service(LocalService::RequestLog::discarded);
    if (!service.isRunning()) {
        std::fprintf(stderr, "bench_app_model: %s\n", qPrintable(service.errorString()));
        return 1;
    }
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (curl.isEmpty()) {
        std::fprintf(stderr, "bench_app_model: curl is missing\n");
        return 1;
    }

    const QString email = LocalService::uniqueEmail(QStringLiteral("idle"));
    service.addAccount({email, password, {}, {}, false});
    QTemporaryDir scratch;
    const QDir folder(scratch.path());
    auto client = ApiClient::create(DriveConfiguration(service.apiBaseURL(), 3, 400ms, 60),
                                    std::make_shared<CurlTransport>(),
                                    std::make_shared<InMemorySessionStore>(),
                                    std::make_shared<InMemoryTrustedDeviceStore>(), systemClock());
    AppModel model(AppEnvironment{
        client,
        service.eventsBaseURL(),
        {},
        std::make_shared<InMemoryFileProviderSystem>(),
        std::make_shared<Preferences>(std::make_unique<QSettings>(
            folder.filePath(QStringLiteral("nimbal.conf")), QSettings::IniFormat)),
        std::make_shared<XdgAutostartEntry>(folder.filePath(QStringLiteral("autostart")),
                                            QCoreApplication::applicationFilePath()),
        std::make_shared<ExtensionTool>(standInTool(folder)),
        std::make_shared<WakeNotifier>(),
        [] { return std::optional(QStringLiteral("Banc d'essai")); },
        std::make_shared<RecordingDesktop>(),
           UpdateConfiguration::compiledIn(),
        {},
    });
    model.signIn(email, password);
    runAsync(model.whenIdle(), 30s);
    if (model.status() != AppStatus::ready()) {
        std::fprintf(stderr, "bench_app_model: not signed in: %s\n",
                     qPrintable(model.statusText()));
        return 1;
    }
    runAsync(untilConnected(model), 30s);

    // curl on the same stream, its token read from a file rather than its command line.
    QFile header(folder.filePath(QStringLiteral("header")));
    header.open(QIODevice::WriteOnly);
    header.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    header.write("Authorization: Bearer "
                 + client->currentAccessToken().value_or(QString()).toUtf8() + "\n");
    header.close();
    QProcess peer;
    peer.setStandardOutputFile(QProcess::nullDevice());
    const QUrl stream = *DriveEventStream(client, service.eventsBaseURL(), 30).streamURL();
    peer.start(curl, {QStringLiteral("-sN"), QStringLiteral("-H"), u'@' + header.fileName(),
                      stream.toString()});
    if (!peer.waitForStarted()) {
        std::fprintf(stderr, "bench_app_model: curl did not start\n");
        return 1;
    }

    std::printf("a signed-in model left alone, stream open (keep-alive every 30 s, activity tick"
                " every 2 s): %lld s after %lld s of warm-up\n",
                static_cast<long long>(span.count() / 1000),
                static_cast<long long>(warmUp.count() / 1000));
    std::fflush(stdout);
    runAsync(pause(warmUp), warmUp + 10s);
    const ProcessSample ourStart = ProcessSample::self();
    const ProcessSample curlStart = ProcessSample::of(peer.processId());
    runAsync(pause(span), span + 10s);
    const ProcessSample ourEnd = ProcessSample::self();
    const ProcessSample curlEnd = ProcessSample::of(peer.processId());
    peer.kill();
    peer.waitForFinished();

    const double seconds = double(span.count()) / 1000.0;
    const Use ours = useBetween(ourStart, ourEnd, seconds);
    const Use theirs = useBetween(curlStart, curlEnd, seconds);
    print("model:", ours, seconds);
    print("curl:", theirs, seconds);
    std::printf("  model / curl: resident x%.1f, CPU x%.1f, wake-ups x%.1f\n",
                ratio(ours.residentMiB[1], theirs.residentMiB[1]),
                ratio(ours.cpuSeconds, theirs.cpuSeconds),
                ratio(ours.wakeUpsPerSecond, theirs.wakeUpsPerSecond));
    const bool live = model.liveStatus() == DriveEventStream::Status::connected();
    const double cpuPercent = 100.0 * ours.cpuSeconds / seconds;
    const long growth = ourEnd.residentKilobytes - ourStart.residentKilobytes;
    const bool met = live && ours.wakeUpsPerSecond <= wakeUpsTarget
                     && cpuPercent <= cpuPercentTarget && growth <= growthTargetKilobytes;
    std::printf("  targets: still connected; <= %.0f wake-ups/s; <= %.1f %% of a core; resident"
                " growth <= %ld KiB: %s\n",
                wakeUpsTarget, cpuPercentTarget, growthTargetKilobytes, met ? "met" : "MISSED");
    return met ? 0 : 1;
}
