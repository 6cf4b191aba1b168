// SPDX-License-Identifier: GPL-3.0-or-later
// The production transport against a scripted HTTP peer on loopback: answers of any status
// come back as answers, everything else is a transport failure with a readable reason. Large
// bodies (upload parts) take a path of their own, which keeps its connections for the next
// part: the same rules hold there, and a kept connection is never a cause of failure.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "ScriptedPeer.h"
#include "net/NetworkAccessTransport.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;

namespace {

HttpRequest request(const QUrl &url, double timeout = 5)
{
    return {url, "GET", {}, {}, timeout};
}

// Large enough to go over a connection of the transport's own.
const QByteArray largeBody(2 * 1024 * 1024 + 3, 'p');

HttpRequest partUpload(const QUrl &url, const QByteArray &body = largeBody)
{
    return {url, "PUT", {}, body, 5};
}

const QByteArray keptOpen = "HTTP/1.1 200 OK\r\nETag: \"e\"\r\nContent-Length: 0\r\n\r\n";

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
    void idleTimeout_data();
    void idleTimeout();
    void cancellationAbortsTheRequest_data();
    void cancellationAbortsTheRequest();

    void partsFollowOnOneConnection();
    void connectionTheServerClosesIsNotKept();
    void connectionDroppedWhileKeptIsReplaced();
};

namespace {
void addBodySizes()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("small body") << QByteArray();
    QTest::newRow("large body") << largeBody;
}
} // namespace

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

void TestNetworkTransport::idleTimeout_data()
{
    addBodySizes();
}

void TestNetworkTransport::idleTimeout()
{
    QFETCH(QByteArray, body);
    ScriptedPeer silent({});
    HttpRequest sent = request(silent.url(), 0.05);
    sent.body = body;
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(NetworkAccessTransport().send(sent, {})),
                              DriveError::transport(u"délai d'attente dépassé"_s));
}

void TestNetworkTransport::cancellationAbortsTheRequest_data()
{
    addBodySizes();
}

void TestNetworkTransport::cancellationAbortsTheRequest()
{
    QFETCH(QByteArray, body);
    ScriptedPeer silent({});
    NetworkAccessTransport transport;
    CancellationSource source;
    HttpRequest sent = request(silent.url());
    sent.body = body;
    auto running = transport.send(sent, source.token());
    QTRY_COMPARE_WITH_TIMEOUT(silent.requests, 1, 2000);
    source.cancel();
    QVERIFY_THROWS_EXCEPTION(OperationCancelled, runAsync(std::move(running)));
    QTRY_COMPARE_WITH_TIMEOUT(silent.disconnections, 1, 2000); // the connection was closed
    QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                             runAsync(transport.send(request(silent.url()), source.token())));
}

void TestNetworkTransport::partsFollowOnOneConnection()
{
    ScriptedPeer storage(keptOpen, -1);
    NetworkAccessTransport transport;
    for (int part = 1; part <= 3; ++part) {
        const QByteArray body = largeBody + QByteArray::number(part);
        const HttpResult stored = runAsync(transport.send(partUpload(storage.url(), body), {}));
        QCOMPARE(stored.response.statusCode, 200);
        QCOMPARE(stored.response.header("ETag"), std::optional("\"e\""_ba));
        QVERIFY(storage.received.endsWith(body));
    }
    QCOMPARE(storage.requests, 3);
    QCOMPARE(storage.connections, 1);
}

void TestNetworkTransport::connectionTheServerClosesIsNotKept()
{
    ScriptedPeer storage("HTTP/1.1 200 OK\r\nConnection: close\r\nETag: \"e\"\r\n"
                         "Content-Length: 0\r\n\r\n",
                         -1);
    NetworkAccessTransport transport;
    for (int part = 1; part <= 2; ++part)
        QCOMPARE(runAsync(transport.send(partUpload(storage.url()), {})).response.statusCode, 200);
    QCOMPARE(storage.connections, 2);
    QTRY_COMPARE_WITH_TIMEOUT(storage.disconnections, 2, 2000); // neither was left open
}

void TestNetworkTransport::connectionDroppedWhileKeptIsReplaced()
{
    ScriptedPeer storage(keptOpen, -1);
    NetworkAccessTransport transport;
    QCOMPARE(runAsync(transport.send(partUpload(storage.url()), {})).response.statusCode, 200);
    // Dropped before the client has had a chance to notice: the next part is written on a
    // connection already gone at the other end, and must arrive all the same.
    storage.dropConnections();
    QCOMPARE(runAsync(transport.send(partUpload(storage.url()), {})).response.statusCode, 200);
    QCOMPARE(storage.requests, 2);
    QCOMPARE(storage.connections, 2);
}

QTEST_GUILESS_MAIN(TestNetworkTransport)
#include "test_network_transport.moc"
