// SPDX-License-Identifier: GPL-3.0-or-later
// The production transport against a scripted HTTP peer on loopback: answers of any status
// come back as answers, everything else is a transport failure with a readable reason.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "ScriptedPeer.h"
#include "client/NetworkAccessTransport.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;

namespace {

HttpRequest request(const QUrl &url, double timeout = 5)
{
    return {url, "GET", {}, {}, timeout};
}

// The kind of failure of a request whose wording comes from the network layer.
void expectTransportFailure(const QUrl &url)
{
    try {
        runAsync(NetworkAccessTransport().send(request(url), {}));
        QFAIL("an answer came back");
    } catch (const DriveError &error) {
        QCOMPARE(error.kind(), DriveError::Kind::transport);
        QVERIFY(!error.text().isEmpty());
        QVERIFY(error.isRetryable());
    }
}

} // namespace

class TestNetworkTransport : public QObject {
    Q_OBJECT

private slots:
    void errorStatusesAreAnswers();
    void nonHttpAnswer();
    void bodyCutShort();
    void refusedConnection();
    void idleTimeout();
    void cancellationAbortsTheRequest();
};

void TestNetworkTransport::errorStatusesAreAnswers()
{
    // Chunked, so that no announced length lets the body be sized in advance.
    ScriptedPeer peer("HTTP/1.1 409 Conflict\r\nX-Drive-Conflict: archived\r\n"
                      "Transfer-Encoding: chunked\r\n\r\n5\r\nstale\r\n0\r\n\r\n");
    HttpRequest put = request(peer.url(u"/api/v1/drive/files/5/rename"_s));
    put.method = "PUT";
    put.setHeader("Content-Type", "application/json");
    put.setHeader("Authorization", "Bearer t");
    put.body = R"("x")";
    const HttpResult result = runAsync(NetworkAccessTransport().send(put, {}));
    QVERIFY(peer.received.startsWith("PUT /api/v1/drive/files/5/rename HTTP/1.1\r\n"));
    QVERIFY(peer.received.contains("Authorization: Bearer t\r\n"));
    QVERIFY(peer.received.contains("Content-Type: application/json\r\n"));
    QVERIFY(peer.received.endsWith("\r\n\r\n\"x\""));

    QCOMPARE(result.response.statusCode, 409);
    QCOMPARE(result.body, "stale"_ba);
    QCOMPARE(result.response.headerText("x-drive-conflict"), std::optional(u"archived"_s));
    // Room is left after the body so the JSON reader can parse it in place.
    QVERIFY(result.body.capacity() - result.body.size() >= 64);
}

void TestNetworkTransport::nonHttpAnswer()
{
    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(NetworkAccessTransport().send(request(QUrl(u"data:text/plain,hello"_s)), {})),
        DriveError::transport(u"réponse non HTTP"_s));
}

void TestNetworkTransport::bodyCutShort()
{
    // The announced length is not met: whatever the network layer makes of the early close,
    // the answer must not pass for a whole one. (Closed a moment after the head, the network
    // layer reports no error of its own.) Its handling varies from run to run: ask a few times.
    ScriptedPeer peer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"partial\":", 30);
    for (int round = 0; round < 5; ++round)
        expectTransportFailure(peer.url());
}

void TestNetworkTransport::refusedConnection()
{
    QUrl closed;
    {
        const ScriptedPeer probe({});
        closed = probe.url();
    }
    expectTransportFailure(closed);
}

void TestNetworkTransport::idleTimeout()
{
    ScriptedPeer silent({});
    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(NetworkAccessTransport().send(request(silent.url(), 0.05), {})),
        DriveError::transport(u"délai d'attente dépassé"_s));
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
