// SPDX-License-Identifier: GPL-3.0-or-later
#include "RawEventStream.h"

#include <QHostAddress>

namespace OrvelanNimbal::Testing {

namespace {

const QByteArray lineEnd = "\r\n";

} // namespace

RawEventStream::RawEventStream(int port, const QByteArray &target, const Headers &headers)
{
    QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:"
                         + QByteArray::number(port) + "\r\nAccept: text/event-stream\r\n";
    for (const auto &[name, value] : headers)
        request += name + ": " + value + lineEnd;
    request += lineEnd;
    QObject::connect(&m_socket, &QTcpSocket::readyRead, this, [this] { readAvailable(); });
    m_socket.connectToHost(QHostAddress::LocalHost, quint16(port));
    m_socket.write(request);
}

QByteArray RawEventStream::header(const QByteArray &name) const
{
    for (const auto &[key, value] : m_headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

int RawEventStream::eventCount(const QString &name) const
{
    return int(std::count_if(m_events.begin(), m_events.end(),
                             [&](const ServerSentEvent &event) { return event.event == name; }));
}

void RawEventStream::readAvailable()
{
    m_buffer += m_socket.readAll();
    if (m_status == 0 && !readHead())
        return;
    if (m_chunked)
        readChunks();
    else
        readSizedBody();
}

bool RawEventStream::readHead()
{
    const qsizetype end = m_buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return false;
    const QList<QByteArray> lines = m_buffer.left(end).split('\n');
    m_buffer.remove(0, end + 4);
    // "HTTP/1.1 200 OK"
    m_status = lines.value(0).trimmed().split(' ').value(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            m_headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    m_chunked = header("Transfer-Encoding").compare("chunked", Qt::CaseInsensitive) == 0;
    m_remaining = m_chunked ? 0 : header("Content-Length").toLongLong();
    return true;
}

void RawEventStream::readSizedBody()
{
    const QByteArray part = m_buffer.left(m_remaining);
    m_buffer.remove(0, part.size());
    m_remaining -= part.size();
    append(part);
    if (m_remaining == 0)
        finish();
}

void RawEventStream::readChunks()
{
    while (!m_complete) {
        if (!m_inChunk) {
            const qsizetype end = m_buffer.indexOf(lineEnd);
            if (end < 0)
                return;
            // The size in hexadecimal, possibly followed by extensions after ";".
            bool ok = false;
            m_remaining = m_buffer.left(end).split(';').value(0).trimmed().toLongLong(&ok, 16);
            m_buffer.remove(0, end + lineEnd.size());
            if (!ok || m_remaining == 0) {
                finish();
                return;
            }
            m_inChunk = true;
        }
        // The chunk's bytes and the line end after them.
        if (m_buffer.size() < m_remaining + lineEnd.size())
            return;
        append(m_buffer.left(m_remaining));
        m_buffer.remove(0, m_remaining + lineEnd.size());
        m_inChunk = false;
    }
}

void RawEventStream::append(const QByteArray &bytes)
{
    m_body += bytes;
    for (ServerSentEvent &event : m_parser.feed(bytes))
        m_events.push_back(std::move(event));
}

void RawEventStream::finish()
{
    m_complete = true;
    m_socket.disconnectFromHost();
}

} // namespace OrvelanNimbal::Testing
