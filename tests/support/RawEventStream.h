// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "events/SSEParser.h"
#include "events/ServerSentEvent.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpSocket>

#include <utility>
#include <vector>

namespace OrvelanNimbal::Testing {

// An event stream opened by hand on a socket, as any other client's would be: the request
// written as given, the answer kept as it arrives, its head parsed and its chunked body
// decoded. One request per connection: the socket is closed once an answer is complete.
// Lives on the test's thread and moves only while the event loop runs.
class RawEventStream : public QObject {
public:
    using Headers = QList<std::pair<QByteArray, QByteArray>>;

    RawEventStream(int port, const QByteArray &target, const Headers &headers);

    int status() const { return m_status; } // 0 until the head has arrived
    // A header of the answer, whatever its letter case; empty when absent.
    QByteArray header(const QByteArray &name) const;
    // The body so far, decoded from its chunks.
    const QByteArray &body() const { return m_body; }
    // The events of the body so far, parsed as the application parses them.
    const std::vector<ServerSentEvent> &events() const { return m_events; }
    int eventCount(const QString &name) const;
    // The answer ended properly: the last chunk, or all the bytes announced.
    bool isComplete() const { return m_complete; }
    // The connection is gone, whoever closed it.
    bool isDisconnected() const { return m_socket.state() == QAbstractSocket::UnconnectedState; }

    void close() { m_socket.abort(); }

private:
    void readAvailable();
    bool readHead();
    void readSizedBody();
    void readChunks();
    void append(const QByteArray &bytes);
    void finish();

    QTcpSocket m_socket;
    QByteArray m_buffer; // received, not yet decoded
    int m_status = 0;
    Headers m_headers;
    bool m_chunked = false;
    qint64 m_remaining = 0; // bytes of the sized body, or of the current chunk, still to come
    bool m_inChunk = false;
    bool m_complete = false;
    QByteArray m_body;
    SSEParser m_parser;
    std::vector<ServerSentEvent> m_events;
};

} // namespace OrvelanNimbal::Testing
