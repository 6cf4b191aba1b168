// SPDX-License-Identifier: GPL-3.0-or-later
// The running service with hundreds of connections that wait: event streams and sockets that
// send nothing, or a head never finished. None of them holds a worker, so API calls are still
// answered at once; one client address cannot take every connection.
#include "LocalService.h"
#include "RawHttp.h"

#include <QTest>

#include <algorithm>
#include <sys/resource.h>

using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

constexpr int streamCount = 500;
constexpr int idleCount = 500;
constexpr int clientAddresses = 10; // the waiting connections come from this many "clients"
constexpr int measuredCalls = 50;
// Generous for a loaded machine; the fault was seconds.
constexpr auto slowestAcceptable = 1000ms;
// What the service lets one address hold at once.
constexpr int connectionsPerClient = 1536;

const std::string password = "equite-du-service";

// The test itself holds over a thousand sockets.
void raiseOwnFileLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

std::string clientAddress(int index)
{
    return "127.0.0." + std::to_string(2 + index % clientAddresses);
}

} // namespace

class TestServiceFairness : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void answersWhileStreamsAndIdleConnectionsWait();
    void capsConnectionsPerClientAddress();

private:
    std::unique_ptr<LocalService> m_service;
    QString m_email;
    std::string m_token;
};

void TestServiceFairness::initTestCase()
{
    raiseOwnFileLimit();
    m_service = std::make_unique<LocalService>(LocalService::RequestLog::discarded);
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_email = addAccount(*m_service, u"fairness"_qs, password);
    m_token = signIn(m_service->port(), m_email.toStdString(), password);
    QVERIFY(!m_token.empty());
}

void TestServiceFairness::answersWhileStreamsAndIdleConnectionsWait()
{
    const int port = m_service->port();
    std::vector<std::unique_ptr<RawConnection>> streams;
    for (int i = 0; i < streamCount; ++i) {
        streams.push_back(std::make_unique<RawConnection>(port, clientAddress(i)));
        QVERIFY(streams.back()->send(request("GET", "/api/v1/jmap/events/web?ping=300",
                                             {{"Authorization", "Bearer " + m_token}})));
    }
    for (const auto &stream : streams)
        QCOMPARE(stream->read(10s, true).status, 200);
    QCOMPARE(m_service->openEventStreams(), streamCount);

    // Half say nothing at all, half begin a head and never finish it.
    std::vector<std::unique_ptr<RawConnection>> idle;
    for (int i = 0; i < idleCount; ++i) {
        idle.push_back(std::make_unique<RawConnection>(port, clientAddress(i)));
        QVERIFY(idle.back()->isConnected());
        if (i % 2)
            QVERIFY(idle.back()->send("GET /api/v1/drive/quota HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
    }

    RawConnection caller(port);
    const std::string call =
        request("GET", "/api/v1/drive/quota", {{"Authorization", "Bearer " + m_token}});
    std::vector<std::chrono::microseconds> waits;
    for (int i = 0; i < measuredCalls; ++i) {
        const auto start = std::chrono::steady_clock::now();
        QVERIFY(caller.send(call));
        QCOMPARE(caller.read(5s).status, 200);
        waits.push_back(std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - start));
    }
    std::sort(waits.begin(), waits.end());
    qInfo("API call with %d streams and %d idle connections open: median %.2f ms, slowest %.2f ms",
          streamCount, idleCount, double(waits[waits.size() / 2].count()) / 1000.0,
          double(waits.back().count()) / 1000.0);
    QVERIFY(waits.back() < slowestAcceptable);

    // Everything that waited is still there, and the streams still carry news.
    for (const auto &connection : idle)
        QVERIFY(!connection->closedWithin(0ms));
    m_service->publishDriveChange(m_email);
    for (const auto &stream : streams) {
        std::string received;
        for (int reads = 0; reads < 10 && received.find("drive.changed") == std::string::npos;
             ++reads)
            received += stream->readSome(5s);
        QVERIFY(received.find("event: drive.changed") != std::string::npos);
    }
}

void TestServiceFairness::capsConnectionsPerClientAddress()
{
    const int port = m_service->port();
    std::vector<std::unique_ptr<RawConnection>> held;
    for (int i = 0; i < connectionsPerClient; ++i)
        held.push_back(std::make_unique<RawConnection>(port, "127.0.0.50"));
    // The queue is taken in order: the one too many is closed at once, the others stay.
    RawConnection tooMany(port, "127.0.0.50");
    QVERIFY(tooMany.closedWithin(3s));
    QVERIFY(!held.front()->closedWithin(0ms));
    QVERIFY(!held.back()->closedWithin(0ms));

    // Another client is served as if nothing happened.
    RawConnection other(port, "127.0.0.51");
    QVERIFY(other.send(
        request("GET", "/api/v1/drive/quota", {{"Authorization", "Bearer " + m_token}})));
    QCOMPARE(other.read(5s).status, 200);
}

QTEST_GUILESS_MAIN(TestServiceFairness)
#include "test_service_fairness.moc"
