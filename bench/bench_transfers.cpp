// SPDX-License-Identifier: GPL-3.0-or-later
// Transfers through the client beside curl, against the same local service in the same run:
//
// - one gigabyte downloaded into a file (DriveAPI::downloadContent: written beside the
//   destination, hashed, flushed, renamed) against `curl -o` of the same pre-signed address,
//   and against `curl | tee FILE | sha256sum` (what a client that checks the content must do);
// - 2,000 files of 4 to 64 KiB downloaded into a folder, all started at once (the transport runs
//   8 at a time) against `curl --parallel --parallel-max 8` fetching the same addresses into
//   the same kind of folder;
// - 200 listing pages in a row, each a request decoded into models, against curl fetching the
//   same 200 addresses from one --config file over its one connection.
//
// Targets: 0.9 × curl's throughput for the gigabyte, 0.8 × for the small files, 0.9 × for the
// pages. Each measure is the best of a few rounds, the two programs taking turns going first.
// Files and the service's storage live in memory when the machine has room.
#include "AsyncTest.h"
#include "BenchFigures.h"
#include "LocalService.h"
#include "api/DriveAPI.h"
#include "upload/BenchAccount.h"
#include "upload/GeneratedFile.h"
#include "upload/MemoryBackedFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <functional>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

constexpr qint64 largeSize = qint64(1) << 30;
constexpr int smallFiles = 2000;
constexpr int pages = 200;
constexpr int filesPerPage = 50;
constexpr int rounds = 3;

struct Figure {
    const char *what;
    double target;
    qint64 bestCurlNs = -1;
    qint64 bestClientNs = -1;

    void note(qint64 curlNs, qint64 clientNs)
    {
        if (curlNs > 0 && (bestCurlNs < 0 || curlNs < bestCurlNs))
            bestCurlNs = curlNs;
        if (clientNs > 0 && (bestClientNs < 0 || clientNs < bestClientNs))
            bestClientNs = clientNs;
    }
    // Throughput ratio: the same work, so the inverse of the times.
    double ratio() const { return double(bestCurlNs) / double(bestClientNs); }
    bool passes() const { return bestCurlNs > 0 && bestClientNs > 0 && ratio() >= target; }
    void print() const
    {
        std::printf("%s: curl %.3f s, client %.3f s; client/curl %.2f (target >= %.2f) %s\n", what,
                    double(bestCurlNs) / 1e9, double(bestClientNs) / 1e9, ratio(), target,
                    passes() ? "PASS" : "FAIL");
        recordFigure(QString::fromUtf8(what),
                     QString::asprintf("%.3f s", double(bestClientNs) / 1e9),
                     QString::asprintf("%.3f s", double(bestCurlNs) / 1e9),
                     QString::asprintf("%.2f×", ratio()), QString::asprintf("≥ %.2f×", target),
                     passes());
    }
};

// Runs `program` (curl unless named) with `arguments`; gives the nanoseconds, or -1 when it
// failed.
qint64 timeCurl(const QStringList &arguments, const QString &program = QStringLiteral("curl"))
{
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start(program, arguments);
    const bool finished = curl.waitForFinished(600000);
    const qint64 elapsed = timer.nsecsElapsed();
    if (!finished || curl.exitStatus() != QProcess::NormalExit || curl.exitCode() != 0) {
        std::fprintf(stderr, "bench_transfers: curl failed: %s\n",
                     curl.readAllStandardError().constData());
        return -1;
    }
    return elapsed;
}

template <class Work>
qint64 timeClient(Work work)
{
    QElapsedTimer timer;
    timer.start();
    runAsync(work(), 10min);
    return timer.nsecsElapsed();
}

// Both programs, taking turns going first from one round to the next: whatever the first leaves
// behind (writeback, a warm cache) does not always favour the same one. Gives (curl, client).
template <class ByCurl, class ByClient>
std::pair<qint64, qint64> inTurn(int round, ByCurl byCurl, ByClient byClient)
{
    if (round % 2 == 1) {
        const qint64 curl = byCurl();
        return {curl, byClient()};
    }
    const qint64 ours = byClient();
    return {byCurl(), ours};
}

QString writeConfig(const QString &path, const QStringList &lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return {};
    QTextStream out(&file);
    for (const QString &line : lines)
        out << line << '\n';
    return path;
}

// A folder of its own for one round's files, emptied by the next round.
QString freshFolder(const QDir &base, const QString &name)
{
    QDir(base.filePath(name)).removeRecursively();
    base.mkpath(name);
    return base.filePath(name);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const auto inMemory = Bench::memoryBackedFolder("bench-transfers", 5 * largeSize);
    Bench::BenchAccount account;
    if (!account.start("bench_transfers", NIMBAL_SERVICE_PATH))
        return 1;
    LocalService &service = *account.service;
    const QString &email = account.email;
    const std::shared_ptr<ApiClient> client = account.client;
    const DriveAPI drive(client);
    const QTemporaryDir work;
    const QDir base(work.path());
    std::printf("transfers against the local service on loopback, files in %s\n",
                qPrintable(QDir::tempPath()));

    // --- One gigabyte ---
    Figure large{"1 GiB download into a file (core), beside curl -o", 0.9};
    // What a client that checks the content must do at least: hash the bytes it writes.
    Figure verified{"1 GiB download into a file (core), beside curl | tee | sha256sum", 0.9};
    {
        const Bench::GeneratedFile source(largeSize);
        const DriveAPI::LocalContent content{QUrl::fromLocalFile(source.path()), source.size(),
                                             source.sha256(),
                                             QStringLiteral("application/octet-stream")};
        const DriveFile file = runAsync(
            drive.createFile(QStringLiteral("gros.bin"), std::nullopt, content, {}), 10min);
        for (int round = 1; round <= rounds; ++round) {
            const DriveDownload grant = runAsync(drive.contentURL(file));
            const QString curlTarget = base.filePath(QStringLiteral("curl.bin"));
            const QString clientTarget = base.filePath(QStringLiteral("client.bin"));
            const auto byCurl = [&] {
                return timeCurl({QStringLiteral("--silent"), QStringLiteral("--show-error"),
                                 QStringLiteral("--fail"), QStringLiteral("--output"), curlTarget,
                                 grant.url.toString()});
            };
            const auto byClient = [&] {
                return timeClient([&] { return drive.downloadContent(grant, clientTarget, {}); });
            };
            const auto [curl, ours] = inTurn(round, byCurl, byClient);
            std::printf("  round %d: curl %.0f MiB/s, client %.0f MiB/s\n", round,
                        double(largeSize) / 1048576.0 / (double(curl) / 1e9),
                        double(largeSize) / 1048576.0 / (double(ours) / 1e9));
            large.note(curl, ours);
            QFile::remove(curlTarget);
            // The address and the file as arguments of the script, never inside it.
            const qint64 hashed = timeCurl(
                {QStringLiteral("-o"), QStringLiteral("pipefail"), QStringLiteral("-c"),
                 QStringLiteral("curl --silent --show-error --fail \"$1\" | tee \"$2\" "
                                "| sha256sum >/dev/null"),
                 QStringLiteral("bench"), grant.url.toString(), curlTarget},
                QStringLiteral("bash"));
            std::printf("  round %d: curl | tee | sha256sum %.0f MiB/s\n", round,
                        double(largeSize) / 1048576.0 / (double(hashed) / 1e9));
            verified.note(hashed, ours);
            QFile::remove(curlTarget);
            QFile::remove(clientTarget);
        }
        runAsync(drive.trash({file.id}, {}));
    }
    large.print();
    verified.print();

    // --- 2,000 small files ---
    Figure small{"2000 files of 4-64 KiB, 8 at a time", 0.8};
    {
        const qint64 folder = runAsync(drive.createFolder(QStringLiteral("petits"), std::nullopt));
        QRandomGenerator sizes(2026);
        std::vector<DriveFile> files;
        for (int i = 0; i < smallFiles; ++i) {
            const qsizetype size = 4096 + qsizetype(sizes.bounded(60 * 1024 + 1));
            files.push_back(service.putFile(email, QStringLiteral("p%1.bin").arg(i),
                                            QByteArray(size, char('a' + i % 26)), folder));
        }
        for (int round = 1; round <= rounds; ++round) {
            std::vector<DriveDownload> grants;
            QStringList config;
            const QString curlFolder = freshFolder(base, QStringLiteral("curl"));
            const QString clientFolder = freshFolder(base, QStringLiteral("client"));
            for (std::size_t i = 0; i < files.size(); ++i) {
                grants.push_back(runAsync(drive.contentURL(files[i])));
                config << QStringLiteral("url = \"%1\"").arg(grants.back().url.toString())
                       << QStringLiteral("output = \"%1/p%2.bin\"").arg(curlFolder).arg(i);
            }
            const QString configPath =
                writeConfig(base.filePath(QStringLiteral("small.conf")), config);
            const auto byCurl = [&] {
                return timeCurl({QStringLiteral("--silent"), QStringLiteral("--show-error"),
                                 QStringLiteral("--fail"), QStringLiteral("--parallel"),
                                 QStringLiteral("--parallel-max"), QStringLiteral("8"),
                                 QStringLiteral("--config"), configPath});
            };
            const auto byClient = [&] {
                return timeClient([&]() -> QCoro::Task<> {
                    std::vector<QCoro::Task<qint64>> running;
                    for (std::size_t i = 0; i < grants.size(); ++i)
                        running.push_back(drive.downloadContent(
                            grants[i], QStringLiteral("%1/p%2.bin").arg(clientFolder).arg(i), {}));
                    for (auto &download : running)
                        co_await download;
                });
            };
            const auto [curl, ours] = inTurn(round, byCurl, byClient);
            std::printf("  round %d: curl %.3f s, client %.3f s\n", round, double(curl) / 1e9,
                        double(ours) / 1e9);
            small.note(curl, ours);
        }
    }
    small.print();

    // --- 200 listing pages ---
    Figure listing{"200 listing pages in a row", 0.9};
    {
        const qint64 folder = runAsync(drive.createFolder(QStringLiteral("page"), std::nullopt));
        for (int i = 0; i < filesPerPage; ++i)
            service.putFile(email, QStringLiteral("f%1.txt").arg(i), QByteArray(100, 'x'), folder);
        const QString url = service.apiBaseURL().toString()
                            + QStringLiteral("/drive/files?limit=100000&id_folder=%1").arg(folder);
        // The same request as the client's, compression included (curl leaves the bytes as they
        // come, the client decodes them).
        QStringList config{QStringLiteral("header = \"Authorization: Bearer %1\"")
                               .arg(*client->currentAccessToken()),
                           QStringLiteral("header = \"Accept-Encoding: gzip\"")};
        for (int i = 0; i < pages; ++i)
            config << QStringLiteral("url = \"%1\"").arg(url)
                   << QStringLiteral("output = \"/dev/null\"");
        const QString configPath = writeConfig(base.filePath(QStringLiteral("pages.conf")), config);
        std::size_t listed = 0;
        for (int round = 1; round <= rounds; ++round) {
            const auto byCurl = [&] {
                return timeCurl({QStringLiteral("--silent"), QStringLiteral("--show-error"),
                                 QStringLiteral("--fail"), QStringLiteral("--config"), configPath});
            };
            const auto byClient = [&] {
                return timeClient([&]() -> QCoro::Task<> {
                    for (int i = 0; i < pages; ++i) {
                        const std::vector<DriveFile> page = co_await drive.files(folder);
                        listed += page.size();
                    }
                });
            };
            const auto [curl, ours] = inTurn(round, byCurl, byClient);
            std::printf("  round %d: curl %.3f s, client %.3f s\n", round, double(curl) / 1e9,
                        double(ours) / 1e9);
            listing.note(curl, ours);
        }
        if (listed != std::size_t(rounds) * pages * filesPerPage)
            std::fprintf(stderr, "bench_transfers: the pages were not whole\n");
    }
    listing.print();

    return large.passes() && verified.passes() && small.passes() && listing.passes() ? 0 : 1;
}
