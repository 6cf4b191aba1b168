// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeEventServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace OrvelanNimbal::Testing {

namespace {

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

std::optional<FakeEventServer::Request> parseHead(const QByteArray &head) {
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    if (requestLine.size() != 3)
        return std::nullopt;
    FakeEventServer::Request request{requestLine[0], requestLine[1], {}};
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }
    return request;
}

} // namespace

struct FakeEventServer::Connection {
    QTcpSocket *socket; // owned by the server's list, deleted later
    QByteArray received;
    bool answered = false;
    Answer answer;
    qsizetype nextChunk = 0;
    QTimer pause;
};

FakeEventServer::FakeEventServer() {
    connect(&m_server, &QTcpServer::newConnection, this, &FakeEventServer::accept);
    m_server.listen(QHostAddress::LocalHost);
}

FakeEventServer::~FakeEventServer() {
    for (auto &connection : m_connections) {
        connection->socket->disconnect(this);
        connection->socket->abort();
        delete connection->socket;
    }
}

QUrl FakeEventServer::baseURL() const {
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(m_server.serverPort());
    return url;
}

void FakeEventServer::accept() {
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(nullptr);
        auto connection = std::make_unique<Connection>();
        connection->socket = socket;
        connection->pause.setSingleShot(true);
        Connection *raw = connection.get();
        connect(&raw->pause, &QTimer::timeout, this, [this, raw] { sendNextChunk(*raw); });
        connect(socket, &QTcpSocket::readyRead, this, [this, raw] { readRequest(*raw); });
        connect(socket, &QTcpSocket::disconnected, this, [this, raw] { forget(raw); });
        m_connections.push_back(std::move(connection));
    }
}

void FakeEventServer::readRequest(Connection &connection) {
    connection.received += connection.socket->readAll();
    const qsizetype headEnd = connection.received.indexOf("\r\n\r\n");
    if (connection.answered || headEnd < 0)
        return;
    connection.answered = true;
    const auto request = parseHead(connection.received.left(headEnd));
    if (!request) {
        connection.socket->abort();
        return;
    }
    m_requests.append(*request);
    if (!m_answers.empty()) {
        connection.answer = std::move(m_answers.front());
        m_answers.pop_front();
    } else {
        connection.answer = m_fallback;
    }
    emit requestReceived(int(m_requests.size()) - 1);
    answer(connection);
}

void FakeEventServer::answer(Connection &connection) {
    const Answer &answer = connection.answer;
    if (answer.silent)
        return;
    const QByteArray status = QByteArray::number(answer.status);
    if (answer.status != 200) {
        const QByteArray body = "{\"error\":\"" + status + "\"}";
        connection.socket->write("HTTP/1.1 " + status + ' ' + reasonPhrase(answer.status)
                                 + "\r\nContent-Type: application/json\r\nContent-Length: "
                                 + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n"
                                 + body);
        finish(connection);
        return;
    }
    connection.socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"
                             "Cache-Control: no-cache\r\nTransfer-Encoding: chunked\r\n"
                             "\r\n");
    connection.socket->flush();
    sendNextChunk(connection);
}

void FakeEventServer::sendNextChunk(Connection &connection) {
    const Answer &answer = connection.answer;
    // Without a pause every piece goes out now, still one write (one TCP segment) each.
    do {
        if (connection.nextChunk == answer.chunks.size()) {
            finish(connection);
            return;
        }
        const QByteArray &chunk = answer.chunks[connection.nextChunk++];
        connection.socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
        connection.socket->flush();
    } while (answer.interval.count() == 0);
    connection.pause.start(answer.interval);
}

void FakeEventServer::finish(Connection &connection) {
    ++m_completed;
    switch (connection.answer.status == 200 ? connection.answer.ending : Ending::endBody) {
    case Ending::endBody:
        if (connection.answer.status == 200)
            connection.socket->write("0\r\n\r\n");
        connection.socket->disconnectFromHost();
        break;
    case Ending::drop:
        // Cut inside a chunk, by a close rather than a reset: a reset may destroy bytes the
        // client has not read yet, and a close between two chunks may make the client's
        // network layer quietly resend the request; either would make the test guess.
        connection.socket->write("40\r\n: cut short");
        connection.socket->disconnectFromHost();
        break;
    case Ending::keepOpen:
        break;
    }
}

void FakeEventServer::forget(Connection *connection) {
    const auto found =
        std::find_if(m_connections.begin(), m_connections.end(),
                     [connection](const auto &held) { return held.get() == connection; });
    if (found == m_connections.end())
        return;
    // Often called from one of the connection's own signals: it is only parked here, and
    // deleted with the server.
    connection->pause.stop();
    connection->socket->disconnect(this);
    connection->socket->deleteLater();
    m_closed.push_back(std::move(*found));
    m_connections.erase(found);
}

} // namespace OrvelanNimbal::Testing
