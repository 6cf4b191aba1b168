// SPDX-License-Identifier: GPL-3.0-or-later
// A gigabyte uploaded to the local service through DriveAPI::createFile (8 MiB parts, each
// presigned, PUT, acknowledged with its ETag, in turn), beside curl putting the same bytes to
// the same storage endpoint in one PUT: the client's throughput against the tool's, and how far
// the uploading process's resident size rises above its idle size.
//
// curl gets the easiest case on purpose: one request, no presigning, no per-part round trips.
// The client's figure is the transfer, from the call to the last part stored, which is what
// curl's PUT also covers; the service's assembly of the parts (a copy and a hash of the whole
// gigabyte on the service's side) and the download grant that follow are shown apart.
//
// Targets: client throughput at least 0.9 × curl's; peak resident growth at most 24 MiB over the
// idle size (the parts are read from the file as they go, a block or two ahead).
//
// The file and the service's storage live in memory (/dev/shm) when the machine has room (see
// MemoryBackedFolder.h); the two also take turns going first.
#include "AsyncTest.h"
#include "api/DriveAPI.h"
#include "models/DriveDTOs.h"
#include "upload/BenchAccount.h"
#include "upload/CurlUpload.h"
#include "upload/GeneratedFile.h"
#include "upload/MemoryBackedFolder.h"
#include "upload/ResidentGrowth.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

constexpr qint64 fileSize = qint64(1) << 30;
constexpr int rounds = 4;
// Room for the file, what curl and the client store, and the assembled copies of all rounds.
constexpr qint64 memoryStorageNeeded = qint64(rounds) * 3 * fileSize + fileSize;
constexpr double throughputTarget = 0.9;
constexpr long growthTargetKiB = 24 * 1024;

double mebibytesPerSecond(qint64 bytes, qint64 nanoseconds)
{
    return double(bytes) / (1024.0 * 1024.0) / (double(nanoseconds) / 1e9);
}

struct ClientRun {
    qint64 transferNs = 0; // the call to the last part stored
    qint64 totalNs = 0;    // the call to the file returned
    long growthKiB = 0;
};

ClientRun uploadWithClient(const DriveAPI &drive, const Bench::GeneratedFile &file, int round)
{
    const DriveAPI::LocalContent content{QUrl::fromLocalFile(file.path()), file.size(),
                                         file.sha256(), QStringLiteral("application/octet-stream")};
    ClientRun run;
    Bench::ResidentGrowth growth;
    if (!growth.start())
        std::fprintf(stderr, "bench_upload: the kernel refused to reset the peak\n");
    QElapsedTimer timer;
    timer.start();
    const auto progress = [&](qint64 sent) {
        if (sent == file.size())
            run.transferNs = timer.nsecsElapsed();
    };
    const DriveFile created = runAsync(
        drive.createFile(QStringLiteral("gros-%1.bin").arg(round), std::nullopt, content, progress),
        10min);
    run.totalNs = timer.nsecsElapsed();
    run.growthKiB = growth.peakGrowth();
    if (created.contentHash != file.sha256())
        std::fprintf(stderr, "bench_upload: the service holds another content\n");
    runAsync(drive.trash({created.id}, {}));
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const auto inMemory = Bench::memoryBackedFolder("bench-upload", memoryStorageNeeded);
    Bench::BenchAccount account;
    if (!account.start("bench_upload", NIMBAL_SERVICE_PATH))
        return 1;
    const std::shared_ptr<ApiClient> client = account.client;
    const DriveAPI drive(client);

    const Bench::GeneratedFile file(fileSize);
    if (!file.isValid()) {
        std::fprintf(stderr, "bench_upload: cannot write the gigabyte to upload\n");
        return 1;
    }
    std::printf("upload of %lld bytes (%s), 8 MiB parts, service on loopback\n",
                static_cast<long long>(fileSize), qPrintable(QDir::tempPath()));
    // Before the idle size is taken: the network layer's thread, the thread pool that reads the
    // file and the allocator's arenas exist from the first upload on, and are no growth.
    {
        const Bench::GeneratedFile small(3 * 8 * 1024 * 1024);
        uploadWithClient(drive, small, 0);
    }

    qint64 bestCurl = -1;
    ClientRun bestClient;
    long worstGrowth = 0;
    for (int round = 1; round <= rounds; ++round) {
        qint64 curl = -1;
        ClientRun run;
        if (round % 2 == 1) {
            curl = Bench::uploadWithCurl(*client, file);
            run = uploadWithClient(drive, file, round);
        } else {
            run = uploadWithClient(drive, file, round);
            curl = Bench::uploadWithCurl(*client, file);
        }
        std::printf("  round %d: curl %.0f MiB/s; client %.0f MiB/s transfer, %.0f MiB/s with "
                    "assembly and grant; peak growth %ld KiB\n",
                    round, curl > 0 ? mebibytesPerSecond(fileSize, curl) : 0.0,
                    mebibytesPerSecond(fileSize, run.transferNs),
                    mebibytesPerSecond(fileSize, run.totalNs), run.growthKiB);
        if (curl > 0 && (bestCurl < 0 || curl < bestCurl))
            bestCurl = curl;
        if (bestClient.transferNs == 0 || run.transferNs < bestClient.transferNs)
            bestClient = run;
        worstGrowth = std::max(worstGrowth, run.growthKiB);
    }
    if (bestCurl < 0)
        return 1;

    const double curlRate = mebibytesPerSecond(fileSize, bestCurl);
    const double clientRate = mebibytesPerSecond(fileSize, bestClient.transferNs);
    const double ratio = clientRate / curlRate;
    const bool fastEnough = ratio >= throughputTarget;
    const bool smallEnough = worstGrowth <= growthTargetKiB;
    std::printf("best of %d: curl %.0f MiB/s (%.2f s), client %.0f MiB/s (%.2f s transfer, "
                "%.2f s in all)\n",
                rounds, curlRate, double(bestCurl) / 1e9, clientRate,
                double(bestClient.transferNs) / 1e9, double(bestClient.totalNs) / 1e9);
    std::printf("throughput client/curl: %.2f (target >= %.2f) %s\n", ratio, throughputTarget,
                fastEnough ? "PASS" : "FAIL");
    std::printf("peak resident growth: %.1f MiB (target <= %.0f MiB) %s\n", worstGrowth / 1024.0,
                growthTargetKiB / 1024.0, smallEnough ? "PASS" : "FAIL");
    return fastEnough && smallEnough ? 0 : 1;
}
