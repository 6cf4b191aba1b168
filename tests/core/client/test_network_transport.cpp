// SPDX-License-Identifier: GPL-3.0-or-later
// The production transport against a scripted HTTP peer on loopback: answers of any status
// come back as answers, everything else is a transport failure with a readable reason.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"

#include "client/NetworkAccessTransport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

// Answers every connection with `answer` once the request head has arrived, then closes it
// after `closeAfterMs`; an empty answer means "say nothing and keep the connection open".
class ScriptedPeer : public QObject {
public:
    explicit ScriptedPeer(QByteArray answer, int closeAfterMs = 0)
        : m_answer(std::move(answer))
        , m_closeAfterMs(closeAfterMs)
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    received += socket->readAll();
                    if (received.contains("\r\n\r\n") && !m_answer.isEmpty()) {
                        socket->write(m_answer);
                        QTimer::singleShot(m_closeAfterMs, socket,
                                           [socket] { socket->disconnectFromHost(); });
                    }
                });
                connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                    ++disconnections;
                    socket->deleteLater();
                });
            }
        });
    }

    QUrl url(const QString &path = QStringLiteral("/x")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }

    int connections = 0;
    int disconnections = 0;
    QByteArray received;

private:
    QTcpServer m_server;
    QByteArray m_answer;
    int m_closeAfterMs;
};

HttpRequest request(const QUrl &url, double timeout = 5)
{
    HttpRequest result;
    result.url = url;
    result.timeout = timeout;
    return result;
}

} // namespace

class TestNetworkTransport : public QObject {
    Q_OBJECT

private slots:
    void errorStatusesAreAnswers();
    void requestIsSentAsBuilt();
    void nonHttpAnswer();
    void bodyCutShort();
    void refusedConnection();
    void idleTimeout();
    void cancellationAbortsTheRequest();
};

void TestNetworkTransport::errorStatusesAreAnswers()
{
    ScriptedPeer peer("HTTP/1.1 409 Conflict\r\nX-Drive-Conflict: archived\r\n"
                      "Content-Length: 5\r\n\r\nstale");
    NetworkAccessTransport transport;
    const HttpResult result = runAsync(transport.send(request(peer.url()), {}));
    QCOMPARE(result.response.statusCode, 409);
    QCOMPARE(result.body, QByteArray("stale"));
    QCOMPARE(result.response.headerText("x-drive-conflict"), std::optional(QStringLiteral("archived")));
    // Room is left after the body so the JSON reader can parse it in place.
    QVERIFY(result.body.capacity() - result.body.size() >= 64);
}

void TestNetworkTransport::requestIsSentAsBuilt()
{
    ScriptedPeer peer("HTTP/1.1 204 No Content\r\n\r\n");
    NetworkAccessTransport transport;
    HttpRequest put = request(peer.url(QStringLiteral("/api/v1/drive/files/5/rename")));
    put.method = "PUT";
    put.setHeader("Content-Type", "application/json");
    put.setHeader("Authorization", "Bearer t");
    put.body = R"("x")";
    QCOMPARE(runAsync(transport.send(put, {})).response.statusCode, 204);
    QVERIFY(peer.received.startsWith("PUT /api/v1/drive/files/5/rename HTTP/1.1\r\n"));
    QVERIFY(peer.received.contains("Authorization: Bearer t\r\n"));
    QVERIFY(peer.received.contains("Content-Type: application/json\r\n"));
    QVERIFY(peer.received.endsWith("\r\n\r\n\"x\""));
}

void TestNetworkTransport::nonHttpAnswer()
{
    NetworkAccessTransport transport;
    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(transport.send(request(QUrl(QStringLiteral("data:text/plain,hello"))), {})),
        DriveError::transport(QStringLiteral("réponse non HTTP")));
}

void TestNetworkTransport::bodyCutShort()
{
    // The announced length is not met: whatever the network layer makes of the early close,
    // the answer must not pass for a whole one. (Closed a moment after the head, the network
    // layer reports no error of its own.)
    ScriptedPeer peer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"partial\":", 30);
    // The network layer's own handling of the close varies from run to run: ask a few times.
    NetworkAccessTransport transport;
    for (int round = 0; round < 5; ++round) {
        try {
            runAsync(transport.send(request(peer.url()), {}));
            QFAIL("a cut answer passed for a whole one");
        } catch (const DriveError &error) {
            QCOMPARE(error.kind(), DriveError::Kind::transport);
            QVERIFY(error.isRetryable());
        }
    }
}

void TestNetworkTransport::refusedConnection()
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    NetworkAccessTransport transport;
    try {
        runAsync(transport.send(
            request(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort))), {}));
        QFAIL("a closed port answered");
    } catch (const DriveError &error) {
        QCOMPARE(error.kind(), DriveError::Kind::transport);
        QVERIFY(!error.text().isEmpty());
        QVERIFY(error.isRetryable());
    }
}

void TestNetworkTransport::idleTimeout()
{
    ScriptedPeer silent({});
    NetworkAccessTransport transport;
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(transport.send(request(silent.url(), 0.05), {})),
                              DriveError::transport(QStringLiteral("délai d'attente dépassé")));
}

void TestNetworkTransport::cancellationAbortsTheRequest()
{
    ScriptedPeer silent({});
    NetworkAccessTransport transport;
    CancellationSource source;
    auto running = transport.send(request(silent.url()), source.token());
    QTRY_COMPARE_WITH_TIMEOUT(silent.connections, 1, 2000);
    source.cancel();
    QVERIFY_THROWS_EXCEPTION(OperationCancelled, runAsync(std::move(running)));
    QTRY_COMPARE_WITH_TIMEOUT(silent.disconnections, 1, 2000); // the connection was closed

    QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                             runAsync(transport.send(request(silent.url()), source.token())));
}

QTEST_GUILESS_MAIN(TestNetworkTransport)
#include "test_network_transport.moc"
