// SPDX-License-Identifier: GPL-3.0-or-later
// How long an API call of the local service takes while hundreds of connections wait on it
// (event streams, sockets that say nothing, heads never finished), against the same call on
// the same service with nothing else open.
#include "LocalService.h"
#include "RawHttp.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

constexpr int streamCount = 500;
constexpr int idleCount = 500;
constexpr int clientAddresses = 10;
constexpr int calls = 500;
// What the waiting connections may cost an API call: its median no more than this many times
// the idle service's, and a millisecond at most.
constexpr double targetRatio = 1.2;
constexpr double targetMedian = 1.0;
const std::string password = "bench pass phrase";

struct Figures {
    double median = 0; // milliseconds
    double p99 = 0;
};

Figures measureCalls(int port, const std::string &token)
{
    auto caller = std::make_unique<RawConnection>(port);
    const std::string call =
        request("GET", "/api/v1/drive/quota", {{"Authorization", "Bearer " + token}});
    std::vector<double> waits;
    for (int i = 0; i < calls; ++i) {
        const auto start = std::chrono::steady_clock::now();
        caller->send(call);
        const RawConnection::Answer answer = caller->read(5s);
        if (answer.status != 200)
            return {-1, -1};
        waits.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        // A connection carries a hundred requests; the next goes on a new one, as clients do.
        if (answer.headers.count("connection") && answer.headers.at("connection") == "close")
            caller = std::make_unique<RawConnection>(port);
    }
    std::sort(waits.begin(), waits.end());
    return {waits[waits.size() / 2], waits[waits.size() * 99 / 100]};
}

std::string clientAddress(int index)
{
    return "127.0.0." + std::to_string(2 + index % clientAddresses);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    if (qEnvironmentVariableIsEmpty("NIMBAL_SERVICE"))
        qputenv("NIMBAL_SERVICE", NIMBAL_SERVICE_PATH);
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);

    LocalService service(LocalService::RequestLog::discarded);
    if (!service.isRunning()) {
        std::fprintf(stderr, "no service: %s\n", qPrintable(service.errorString()));
        return 1;
    }
    const QString email = addAccount(service, QStringLiteral("fairness"), password);
    const std::string token = signIn(service.port(), email.toStdString(), password);

    const Figures alone = measureCalls(service.port(), token);

    std::vector<std::unique_ptr<RawConnection>> waiting;
    for (int i = 0; i < streamCount; ++i) {
        waiting.push_back(std::make_unique<RawConnection>(service.port(), clientAddress(i)));
        waiting.back()->send(request("GET", "/api/v1/jmap/events/web?ping=300",
                                     {{"Authorization", "Bearer " + token}}));
    }
    for (int i = 0; i < streamCount; ++i)
        waiting[size_t(i)]->read(10s, true);
    for (int i = 0; i < idleCount; ++i) {
        waiting.push_back(std::make_unique<RawConnection>(service.port(), clientAddress(i)));
        if (i % 2)
            waiting.back()->send("GET /api/v1/drive/quota HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    }
    const int open = service.openEventStreams();
    const Figures loaded = measureCalls(service.port(), token);

    const double ratio = loaded.median / alone.median;
    std::printf("API call (GET quota, %d calls), nothing else open: median %.3f ms, p99 %.3f ms\n",
                calls, alone.median, alone.p99);
    std::printf("with %d event streams and %d idle connections open: median %.3f ms, "
                "p99 %.3f ms\n",
                open, idleCount, loaded.median, loaded.p99);
    std::printf("ratio of medians %.2f (target: at most %.1f), loaded median target: at most "
                "%.1f ms\n",
                ratio, targetRatio, targetMedian);
    return open == streamCount && loaded.median > 0 && loaded.median <= targetMedian
                   && ratio <= targetRatio
               ? 0
               : 1;
}
