// SPDX-License-Identifier: GPL-3.0-or-later
// A gigabyte uploaded in parts to the local service, end to end through the client
// (DriveAPI::createFile: init, each 8 MiB part presigned and PUT, complete, then the download
// grant), beside curl putting the same bytes to the same storage endpoint in one PUT, with the
// service's completion alone: from the last part stored to the file returned, less the round
// trip of one download grant, timed on its own right after.
//
// The completion was a copy and a hash of the whole gigabyte; with the parts written into their
// places and hashed as they arrive, it is a rename. Target: the completion takes at most 0.2 s.
//
// The file and the service's storage live in memory (/dev/shm) when the machine has room (see
// MemoryBackedFolder.h); curl and the client take turns going first.
#include "AsyncTest.h"
#include "api/DriveAPI.h"
#include "upload/BenchAccount.h"
#include "upload/CurlUpload.h"
#include "upload/GeneratedFile.h"
#include "upload/MemoryBackedFolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

constexpr qint64 fileSize = qint64(1) << 30;
constexpr int rounds = 3;
// Room for the file and what curl and the client store in every round.
constexpr qint64 memoryStorageNeeded = qint64(rounds) * 2 * fileSize + fileSize;
constexpr double completionTargetSeconds = 0.2;

struct ClientRun {
    double totalSeconds = 0;      // init to the file returned
    double completionSeconds = 0; // last part stored to the file returned, less a grant
};

ClientRun uploadWithClient(const DriveAPI &drive, const Bench::GeneratedFile &file, int round)
{
    const DriveAPI::LocalContent content{QUrl::fromLocalFile(file.path()), file.size(),
                                         file.sha256(), QStringLiteral("application/octet-stream")};
    QElapsedTimer timer;
    timer.start();
    qint64 lastPartNs = 0;
    const auto progress = [&](qint64 sent) {
        if (sent == file.size())
            lastPartNs = timer.nsecsElapsed();
    };
    const DriveFile created = runAsync(
        drive.createFile(QStringLiteral("en-parts-%1.bin").arg(round), std::nullopt, content,
                         progress),
        10min);
    const qint64 totalNs = timer.nsecsElapsed();
    if (created.contentHash != file.sha256())
        std::fprintf(stderr, "bench_service_upload: the service holds another content\n");
    QElapsedTimer grant;
    grant.start();
    runAsync(drive.contentURL(created));
    const qint64 grantNs = grant.nsecsElapsed();
    runAsync(drive.trash({created.id}, {}));
    return {double(totalNs) / 1e9,
            double(std::max<qint64>(0, totalNs - lastPartNs - grantNs)) / 1e9};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const auto inMemory = Bench::memoryBackedFolder("bench-service-upload", memoryStorageNeeded);
    Bench::BenchAccount account;
    if (!account.start("bench_service_upload", NIMBAL_SERVICE_PATH))
        return 1;
    const DriveAPI drive(account.client);
    const Bench::GeneratedFile file(fileSize);
    if (!file.isValid()) {
        std::fprintf(stderr, "bench_service_upload: cannot write the gigabyte to upload\n");
        return 1;
    }
    std::printf("multipart upload of %lld bytes, 8 MiB parts, service on loopback\n",
                static_cast<long long>(fileSize));

    double bestCurl = -1;
    ClientRun best{-1, -1};
    for (int round = 1; round <= rounds; ++round) {
        qint64 curlNs = -1;
        ClientRun run;
        if (round % 2 == 1) {
            curlNs = Bench::uploadWithCurl(*account.client, file);
            run = uploadWithClient(drive, file, round);
        } else {
            run = uploadWithClient(drive, file, round);
            curlNs = Bench::uploadWithCurl(*account.client, file);
        }
        const double curl = double(curlNs) / 1e9;
        std::printf("  round %d: curl -T %.2f s; client init to complete %.2f s, of which the "
                    "service's completion %.3f s\n",
                    round, curl, run.totalSeconds, run.completionSeconds);
        if (curlNs > 0 && (bestCurl < 0 || curl < bestCurl))
            bestCurl = curl;
        if (best.totalSeconds < 0 || run.totalSeconds < best.totalSeconds)
            best.totalSeconds = run.totalSeconds;
        if (best.completionSeconds < 0 || run.completionSeconds < best.completionSeconds)
            best.completionSeconds = run.completionSeconds;
    }
    if (bestCurl < 0)
        return 1;
    const bool quickEnough = best.completionSeconds <= completionTargetSeconds;
    std::printf("best of %d: curl -T %.2f s, client init to complete %.2f s (%.2f × curl), "
                "service's completion %.3f s (target <= %.1f s) %s\n",
                rounds, bestCurl, best.totalSeconds, best.totalSeconds / bestCurl,
                best.completionSeconds, completionTargetSeconds, quickEnough ? "PASS" : "FAIL");
    return quickEnough ? 0 : 1;
}
