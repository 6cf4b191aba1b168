// SPDX-License-Identifier: GPL-3.0-or-later
// The event stream end to end on loopback, against the real service: how long a change of the
// drive takes to reach the application's change handler, and whether a thousand drops and
// reconnections leave anything behind, in the client or in the service.
#include "AsyncTest.h"
#include "LocalService.h"
#include "api/DriveAPI.h"
#include "async/Wakeup.h"
#include "auth/InMemoryStores.h"
#include "client/ApiClient.h"
#include "events/DriveEventStream.h"
#include "net/CurlTransport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <cstdio>
#include <future>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

using Instant = std::chrono::steady_clock::time_point;

constexpr int latencySamples = 300;
// Enough for every worker of the service's pool to have served a stream once: a worker's
// first stream touches its stack and its allocator cache, which is no growth.
constexpr int warmUpCycles = 300;
constexpr int measuredCycles = 1000;
const QString password = QStringLiteral("bench pass phrase");

// Back-off waits pass at once: the cycles measure the stream, not the client's patience.
class InstantClock final : public Clock {
public:
    std::chrono::nanoseconds continuousNow() const override
    {
        return std::chrono::steady_clock::now().time_since_epoch();
    }
    QDateTime currentDateTime() const override { return QDateTime::currentDateTimeUtc(); }
    QCoro::Task<> sleep(std::chrono::milliseconds, CancellationToken cancel) override
    {
        cancel.throwIfCancelled();
        co_return;
    }
};

// What the stream's handlers tell the measuring coroutine. Everything runs on the main
// thread, so the counters need no lock.
struct StreamProbe {
    int changes = 0;
    int connections = 0;
    Instant lastChangeAt;
    std::shared_ptr<Wakeup> wakeup = std::make_shared<Wakeup>();

    void poke() { wakeup->fire(); }

    template <class Done>
    QCoro::Task<> until(Done done)
    {
        while (!done()) {
            const auto waiting = wakeup = std::make_shared<Wakeup>();
            co_await waiting->wait();
        }
    }
};

struct ProcessUse {
    int descriptors = 0;
    long residentKilobytes = 0;
};

ProcessUse processUse(const QString &pid)
{
    ProcessUse use;
    use.descriptors = int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                              .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                              .size());
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                use.residentKilobytes = line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return use;
}

double milliseconds(std::chrono::nanoseconds duration)
{
    return double(duration.count()) / 1e6;
}

// Median and 99th percentile, in milliseconds.
std::pair<double, double> spread(std::vector<std::chrono::nanoseconds> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t p99 = (samples.size() * 99 + 99) / 100 - 1;
    return {milliseconds(samples[samples.size() / 2]), milliseconds(samples[p99])};
}

// NOLINTNEXTLINE(cppcoreguidelines-avoid-reference-coroutine-parameters): main() owns them and awaits at once
QCoro::Task<> measureLatency(LocalService &service, QString email, StreamProbe &probe,
                             std::chrono::milliseconds debounce)
{
    // Streams take their timing when they open: this one is dropped and comes back with it.
    service.setEventDebounce(debounce);
    const int connections = probe.connections;
    service.closeEventStreams(email);
    co_await probe.until([&] { return probe.connections > connections; });
    std::vector<std::chrono::nanoseconds> fromPublish;
    std::vector<std::chrono::nanoseconds> fromRequest;
    for (int i = 0; i < latencySamples; ++i) {
        const int before = probe.changes;
        const Instant requestedAt = std::chrono::steady_clock::now();
        // From another thread, so that this one is free to read the stream the moment the
        // event comes, even before the control's answer.
        auto published = std::async(
            std::launch::async, [&service, email] { return service.publishDriveChange(email); });
        co_await probe.until([&] { return probe.changes > before; });
        const std::chrono::nanoseconds publishedAt = published.get();
        fromPublish.push_back(probe.lastChangeAt.time_since_epoch() - publishedAt);
        fromRequest.push_back(probe.lastChangeAt - requestedAt);
    }
    const auto [publishMedian, publishP99] = spread(fromPublish);
    const auto [requestMedian, requestP99] = spread(fromRequest);
    std::printf("  debounce %3lld ms: published -> onChange median %7.3f ms, p99 %7.3f ms;"
                " control sent -> onChange median %7.3f ms, p99 %7.3f ms\n",
                static_cast<long long>(debounce.count()), publishMedian, publishP99, requestMedian,
                requestP99);
}

// From a real change of the drive, a folder created through the API, to onChange: the API
// request, the service's commit and publication, its debounce and the stream.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-reference-coroutine-parameters): main() owns them and awaits at once
QCoro::Task<> measureMutationLatency(LocalService &service, QString email, StreamProbe &probe,
                                     std::shared_ptr<ApiClient> client,
                                     std::chrono::milliseconds debounce)
{
    service.setEventDebounce(debounce);
    const int connections = probe.connections;
    service.closeEventStreams(email);
    co_await probe.until([&] { return probe.connections > connections; });
    const DriveAPI api(client);
    std::vector<std::chrono::nanoseconds> samples;
    for (int i = 0; i < latencySamples; ++i) {
        const int before = probe.changes;
        const Instant startedAt = std::chrono::steady_clock::now();
        co_await api.createFolder(QStringLiteral("latence %1 %2").arg(debounce.count()).arg(i),
                                  std::nullopt);
        co_await probe.until([&] { return probe.changes > before; });
        samples.push_back(probe.lastChangeAt - startedAt);
    }
    const auto [median, p99] = spread(samples);
    std::printf(
        "  debounce %3lld ms: createFolder sent -> onChange median %7.3f ms, p99 %7.3f ms\n",
        static_cast<long long>(debounce.count()), median, p99);
}

// NOLINTNEXTLINE(cppcoreguidelines-avoid-reference-coroutine-parameters): main() owns them and awaits at once
QCoro::Task<> dropAndReconnect(LocalService &service, QString email, StreamProbe &probe, int cycles,
                               std::vector<std::chrono::nanoseconds> *durations)
{
    for (int i = 0; i < cycles; ++i) {
        const int before = probe.connections;
        const Instant startedAt = std::chrono::steady_clock::now();
        service.closeEventStreams(email);
        co_await probe.until([&] { return probe.connections > before; });
        if (durations)
            durations->push_back(std::chrono::steady_clock::now() - startedAt);
    }
}

// NOLINTNEXTLINE(cppcoreguidelines-avoid-reference-coroutine-parameters): main() owns them and awaits at once
QCoro::Task<> measureAll(LocalService &service, QString email, StreamProbe &probe,
                         // NOLINTNEXTLINE(cppcoreguidelines-avoid-reference-coroutine-parameters): main() owns them and awaits at once
                         std::shared_ptr<ApiClient> client, CancellationSource &cancel)
{
    co_await probe.until([&] { return probe.connections > 0; });

    std::printf("change latency on loopback, %d changes each (the service holds a change back"
                " for its debounce, so that a burst makes one event):\n",
                latencySamples);
    co_await measureLatency(service, email, probe, 50ms);
    co_await measureLatency(service, email, probe, 0ms);
    co_await measureMutationLatency(service, email, probe, client, 50ms);
    co_await measureMutationLatency(service, email, probe, client, 0ms);

    co_await dropAndReconnect(service, email, probe, warmUpCycles, nullptr);
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QString servicePid = QString::number(service.processId());
    // Read at the start, half way and at the end: a leak grows in both halves.
    std::vector<std::pair<ProcessUse, ProcessUse>> uses{{processUse(self), processUse(servicePid)}};
    std::vector<std::chrono::nanoseconds> durations;
    for (int half = 0; half < 2; ++half) {
        co_await dropAndReconnect(service, email, probe, measuredCycles / 2, &durations);
        uses.emplace_back(processUse(self), processUse(servicePid));
    }

    const auto [median, p99] = spread(durations);
    std::printf("drop and reconnect, %d cycles after %d to warm up: close -> connected again"
                " median %.3f ms, p99 %.3f ms\n",
                measuredCycles, warmUpCycles, median, p99);
    const auto report = [&](const char *name, auto pick) {
        const ProcessUse &start = pick(uses[0]);
        const ProcessUse &middle = pick(uses[1]);
        const ProcessUse &end = pick(uses[2]);
        std::printf("  %-8s descriptors %d -> %d -> %d, resident %ld -> %ld -> %ld KiB"
                    " (%+ld, then %+ld)\n",
                    name, start.descriptors, middle.descriptors, end.descriptors,
                    start.residentKilobytes, middle.residentKilobytes, end.residentKilobytes,
                    middle.residentKilobytes - start.residentKilobytes,
                    end.residentKilobytes - middle.residentKilobytes);
    };
    report("client:", [](const auto &use) -> const ProcessUse & { return use.first; });
    report("service:", [](const auto &use) -> const ProcessUse & { return use.second; });
    cancel.cancel();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // A line per connection and reconnection would bury the figures.
    QLoggingCategory::setFilterRules(QStringLiteral("net.orvelan.nimbal.sync.events.info=false"));
    // The service built with this benchmark, unless one is named.
    if (qEnvironmentVariableIsEmpty("NIMBAL_SERVICE"))
        qputenv("NIMBAL_SERVICE", NIMBAL_SERVICE_PATH);
    LocalService service(LocalService::RequestLog::discarded);
    if (!service.isRunning()) {
        std::fprintf(stderr, "bench_event_latency: %s\n", qPrintable(service.errorString()));
        return 1;
    }

    const QString email = LocalService::uniqueEmail(QStringLiteral("bench"));
    service.addAccount({email, password, {}, {}, false});
    auto client = ApiClient::create(
        DriveConfiguration(service.apiBaseURL(), 3, 5ms, 5.0), std::make_shared<CurlTransport>(),
        std::make_shared<InMemorySessionStore>(), std::make_shared<InMemoryTrustedDeviceStore>(),
        std::make_shared<InstantClock>());
    runAsync(client->login(email, password));

    StreamProbe probe;
    CancellationSource cancel;
    const DriveEventStream stream(client, service.eventsBaseURL(), 30);
    const auto onChange = [&probe]() -> QCoro::Task<> {
        probe.lastChangeAt = std::chrono::steady_clock::now();
        ++probe.changes;
        probe.poke();
        co_return;
    };
    const auto onStatus = [&probe](DriveEventStream::Status status) -> QCoro::Task<> {
        if (status.kind() == DriveEventStream::Status::Kind::connected)
            ++probe.connections;
        probe.poke();
        co_return;
    };
    runAsync(
        [](auto run, auto measure) -> QCoro::Task<> {
            co_await std::move(measure);
            co_await std::move(run);
        }(stream.run(onChange, onStatus, cancel.token()),
                                   measureAll(service, email, probe, client, cancel)),
        10min);
    return 0;
}
