// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/ResponseReader_p.h"

namespace OrvelanNimbal {

namespace {

// An answer's head larger than this is not an answer from a storage service.
constexpr qsizetype longestHead = 64 * 1024;

const QByteArray lineEnd = QByteArrayLiteral("\r\n");

std::optional<qint64> decimal(QByteArrayView text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

// "Connection: close", among other tokens maybe.
bool closesConnection(const HttpResponse &response)
{
    const auto connection = response.header("Connection");
    if (!connection)
        return false;
    for (const QByteArray &token : connection->split(','))
        if (token.trimmed().compare("close", Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

bool ResponseReader::leavesConnectionOpen() const
{
    return m_state == State::complete && m_persistent && m_framing != Framing::untilClose
           && m_pending.isEmpty() && !m_beyondAnswer;
}

ResponseReader::State ResponseReader::feed(QByteArrayView bytes)
{
    m_received = m_received || !bytes.isEmpty();
    if (m_state != State::reading) {
        m_beyondAnswer = m_beyondAnswer || !bytes.isEmpty();
        return m_state;
    }
    m_pending.append(bytes);
    if (!m_headDone)
        m_state = parseHead();
    if (m_state == State::reading && m_headDone)
        m_state = parseBody();
    return m_state;
}

ResponseReader::State ResponseReader::finish()
{
    if (m_state != State::reading)
        return m_state;
    if (m_headDone && m_framing == Framing::untilClose) {
        m_body.append(m_pending);
        m_pending.clear();
        return m_state = State::complete;
    }
    return m_state = State::malformed;
}

ResponseReader::State ResponseReader::parseHead()
{
    const qsizetype end = m_pending.indexOf("\r\n\r\n");
    if (end < 0)
        return m_pending.size() > longestHead ? State::malformed : State::reading;
    const QList<QByteArray> lines = m_pending.left(end).split('\n');
    m_pending.remove(0, end + 4);

    // "HTTP/1.1 200 OK": the version, a space, three digits.
    const QByteArray status = lines.first().trimmed();
    if (!status.startsWith("HTTP/1.") || status.size() < 12 || status.at(8) != ' ')
        return State::malformed;
    bool ok = false;
    m_response.statusCode = status.mid(9, 3).toInt(&ok);
    if (!ok || m_response.statusCode < 100)
        return State::malformed;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return State::malformed;
        m_response.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    // An interim answer (100 Continue) precedes the real one.
    if (m_response.statusCode < 200) {
        m_response = {};
        return parseHead();
    }
    m_headDone = true;
    m_persistent = status.startsWith("HTTP/1.1") && !closesConnection(m_response);

    const auto encoding = m_response.header("Transfer-Encoding");
    const auto length = m_response.header("Content-Length");
    if (encoding && encoding->trimmed().toLower() == "chunked") {
        m_framing = Framing::chunked;
    } else if (length) {
        const auto value = decimal(*length);
        if (!value)
            return State::malformed;
        m_framing = Framing::length;
        m_remaining = *value;
    } else if (m_response.statusCode == 204 || m_response.statusCode == 304) {
        m_framing = Framing::length; // no body, whatever follows
        m_remaining = 0;
    }
    return State::reading;
}

ResponseReader::State ResponseReader::parseBody()
{
    switch (m_framing) {
    case Framing::untilClose:
        m_body.append(m_pending);
        m_pending.clear();
        return State::reading;
    case Framing::length: {
        const qsizetype taken = qsizetype(std::min<qint64>(m_remaining, m_pending.size()));
        m_body.append(m_pending.left(taken));
        m_pending.remove(0, taken);
        m_remaining -= taken;
        return m_remaining == 0 ? State::complete : State::reading;
    }
    case Framing::chunked:
        return parseChunks();
    }
    return State::malformed;
}

ResponseReader::State ResponseReader::parseChunks()
{
    for (;;) {
        if (m_inChunk) {
            const qsizetype taken = qsizetype(std::min<qint64>(m_remaining, m_pending.size()));
            m_body.append(m_pending.left(taken));
            m_pending.remove(0, taken);
            m_remaining -= taken;
            if (m_remaining > 0)
                return State::reading;
            if (m_pending.size() < 2)
                return State::reading;
            if (!m_pending.startsWith(lineEnd))
                return State::malformed;
            m_pending.remove(0, 2);
            m_inChunk = false;
        }
        const qsizetype end = m_pending.indexOf(lineEnd);
        if (end < 0)
            return m_pending.size() > longestHead ? State::malformed : State::reading;
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 2);
        if (m_inTrailer) {
            if (line.isEmpty())
                return State::complete;
            continue; // trailer fields are not used
        }
        // The size in hexadecimal, maybe followed by extensions after ";".
        bool ok = false;
        const qint64 size = line.split(';').first().trimmed().toLongLong(&ok, 16);
        if (!ok || size < 0)
            return State::malformed;
        if (size == 0) {
            m_inTrailer = true;
            continue;
        }
        m_remaining = size;
        m_inChunk = true;
    }
}

} // namespace OrvelanNimbal
