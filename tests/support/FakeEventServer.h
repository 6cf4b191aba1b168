// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "client/HttpMessage.h"

#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

class QTcpSocket;

namespace OrvelanNimbal::Testing {

// A scriptable HTTP server on loopback that stands in for the service's event stream. Each
// connection is answered with the next scripted Answer (the fallback once the queue is empty):
// a plain status, or a 200 whose body is streamed in chunks (chunked transfer encoding), then
// ended cleanly, dropped mid-body or kept open in silence. Every request is recorded.
class FakeEventServer : public QObject {
    Q_OBJECT

public:
    enum class Ending {
        endBody,  // the last chunk, then the connection is closed: the body is complete
        drop,     // the connection is closed in the middle of a chunk: a body cut off
        keepOpen, // nothing more is sent and the connection stays open: a stalled stream
    };

    struct Answer {
        int status = 200;
        QList<QByteArray> chunks;             // the body of a 200, each piece written alone
        std::chrono::milliseconds interval{}; // pause before each piece after the first
        Ending ending = Ending::endBody;
        bool silent = false; // reads the request and never answers, not even the head

        static Answer withStatus(int status) { return {status, {}, {}, Ending::endBody, false}; }
        static Answer stream(QList<QByteArray> chunks, Ending ending = Ending::endBody,
                             std::chrono::milliseconds interval = {}) {
            return {200, std::move(chunks), interval, ending, false};
        }
        static Answer neverAnswers() { return {0, {}, {}, Ending::keepOpen, true}; }
    };

    struct Request {
        QByteArray method;
        QByteArray target; // path and query, as sent
        HttpHeaders headers;
        std::optional<QByteArray> header(QByteArrayView name) const {
            return findHeader(headers, name);
        }
    };

    FakeEventServer();
    ~FakeEventServer() override;

    bool isListening() const { return m_server.isListening(); }
    // http://127.0.0.1:<port>, no path.
    QUrl baseURL() const;

    void enqueue(Answer answer) { m_answers.push_back(std::move(answer)); }
    void setFallback(Answer answer) { m_fallback = std::move(answer); }

    const QList<Request> &requests() const { return m_requests; }
    int openConnections() const { return int(m_connections.size()); }
    // Answers whose last byte (or reset) has been sent.
    int completedAnswers() const { return m_completed; }

signals:
    void requestReceived(int index);

private:
    struct Connection;

    void accept();
    void readRequest(Connection &connection);
    void answer(Connection &connection);
    void sendNextChunk(Connection &connection);
    void finish(Connection &connection);
    void forget(Connection *connection);

    QTcpServer m_server;
    std::deque<Answer> m_answers;
    Answer m_fallback = Answer::withStatus(503);
    QList<Request> m_requests;
    std::vector<std::unique_ptr<Connection>> m_connections;
    std::vector<std::unique_ptr<Connection>> m_closed;
    int m_completed = 0;
};

} // namespace OrvelanNimbal::Testing
