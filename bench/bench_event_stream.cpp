// SPDX-License-Identifier: GPL-3.0-or-later
// How fast the event-stream parser goes, and how much memory a slow change handler costs when
// the service sends faster than the application can follow.
#include "auth/InMemoryStores.h"
#include "client/ApiClient.h"
#include "events/DriveEventStream.h"
#include "events/SSEParser.h"
#include "net/CurlTransport.h"

#include <QCoreApplication>
#include <QCoro/QCoroTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace OrvelanNimbal;
using namespace std::chrono_literals;

namespace {

// One notice as the service would send it, padded to about a kilobyte, and a keep-alive.
QByteArray sampleEvents()
{
    return "event: drive.changed\ndata: {\"cursor\":\"" + QByteArray(1000, 'c') + "\"}\n\n"
           + ": ping\n\n";
}

void parserThroughput(qsizetype chunkSize, qsizetype totalBytes)
{
    const QByteArray unit = sampleEvents();
    QByteArray stream;
    while (stream.size() < totalBytes)
        stream += unit;

    SSEParser parser;
    qsizetype events = 0;
    QElapsedTimer timer;
    timer.start();
    for (qsizetype at = 0; at < stream.size(); at += chunkSize)
        events += qsizetype(parser
                                .feed(QByteArrayView(stream).sliced(at).first(
                                    std::min(chunkSize, stream.size() - at)))
                                .size());
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("parser, %lld-byte chunks: %.1f MB/s (%lld events in %.1f MB)\n",
                static_cast<long long>(chunkSize), double(stream.size()) / 1e6 / seconds,
                static_cast<long long>(events), double(stream.size()) / 1e6);
}

long peakResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// A service that pushes notices as fast as the socket takes them, from its own thread with
// blocking writes, so that its own buffers stay in the kernel and out of our measure.
class FloodingServer {
public:
    FloodingServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 1);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~FloodingServer()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        m_thread.join();
        ::close(m_listener);
    }
    quint16 port() const { return m_port; }
    qint64 sentBytes() const { return m_sent.load(); }

private:
    void serve()
    {
        const int connection = ::accept(m_listener, nullptr, nullptr);
        if (connection < 0)
            return;
        char request[4096];
        if (::recv(connection, request, sizeof request, 0) <= 0) {
            ::close(connection);
            return;
        }
        QByteArray body;
        while (body.size() < 256 * 1024)
            body += sampleEvents();
        const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n\r\n";
        ::send(connection, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
        for (;;) {
            const ssize_t sent =
                ::send(connection, body.constData(), size_t(body.size()), MSG_NOSIGNAL);
            if (sent <= 0)
                break; // the client went away
            m_sent += sent;
        }
        ::close(connection);
    }

    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<qint64> m_sent = 0;
    std::thread m_thread;
};

// The service floods for three seconds while every change takes 5 ms to handle.
void slowConsumerMemory()
{
    FloodingServer server;
    auto client = ApiClient::create(
        DriveConfiguration(QUrl(QStringLiteral("http://127.0.0.1:9/api/v1")), 3, 400ms, 60),
        std::make_shared<CurlTransport>(),
        std::make_shared<InMemorySessionStore>(
            DriveSession{QStringLiteral("bench"), QStringLiteral("token"), QStringLiteral("pw")}),
        std::make_shared<InMemoryTrustedDeviceStore>());
    QCoro::waitFor(client->restoreSession());

    QUrl base;
    base.setScheme(QStringLiteral("http"));
    base.setHost(QStringLiteral("127.0.0.1"));
    base.setPort(server.port());
    const DriveEventStream stream(client, base, 30);

    CancellationSource cancel;
    qint64 changes = 0;
    const long before = peakResidentKilobytes();
    QTimer::singleShot(3s, qApp, [&] { cancel.cancel(); });
    QCoro::waitFor(stream.run(
        [&]() -> QCoro::Task<> {
            ++changes;
            QTimer pause;
            pause.start(5ms);
            co_await pause;
        },
        [](DriveEventStream::Status) -> QCoro::Task<> { co_return; }, cancel.token()));

    std::printf("slow handler (5 ms a change) for 3 s: %lld changes handled, %.1f MB sent by "
                "the service, peak resident memory %ld kB (%ld kB before)\n",
                static_cast<long long>(changes), double(server.sentBytes()) / 1e6,
                peakResidentKilobytes(), before);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // A line per connection and reconnection would bury the figures.
    QLoggingCategory::setFilterRules(QStringLiteral("net.orvelan.nimbal.sync.events.info=false"));
    slowConsumerMemory(); // first, so that the parser's big buffers do not hide its peak
    parserThroughput(16 * 1024, 64 * 1024 * 1024);
    parserThroughput(1, 4 * 1024 * 1024);
    return 0;
}
