// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/SSEParser.h"

#include "json/Utf8Text.h"

namespace OrvelanNimbal {

namespace {

constexpr char lineFeed = '\n';
constexpr char carriageReturn = '\r';
constexpr QByteArrayView byteOrderMark("\xEF\xBB\xBF");

} // namespace

std::vector<ServerSentEvent> SSEParser::feed(QByteArrayView chunk)
{
    std::vector<ServerSentEvent> events;
    // m_pending never holds a line feed, so only the new bytes need searching: a long line
    // that trickles in byte by byte is not scanned again at every byte.
    qsizetype searchFrom = m_pending.size();
    m_pending.append(chunk);

    qsizetype lineStart = 0;
    for (qsizetype end = m_pending.indexOf(lineFeed, searchFrom); end >= 0;
         end = m_pending.indexOf(lineFeed, lineStart)) {
        QByteArrayView line(m_pending.constData() + lineStart, end - lineStart);
        if (line.endsWith(carriageReturn))
            line.chop(1);
        // The stream may open with a byte-order mark; anywhere else U+FEFF is a character.
        if (m_atStreamStart && line.startsWith(byteOrderMark))
            line = line.sliced(byteOrderMark.size());
        m_atStreamStart = false;
        if (auto event = processLine(line))
            events.push_back(std::move(*event));
        lineStart = end + 1;
    }
    // One removal per chunk rather than one per line.
    m_pending.remove(0, lineStart);
    return events;
}

std::optional<ServerSentEvent> SSEParser::processLine(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return dispatch();
    if (bytes.startsWith(':'))
        return std::nullopt; // a comment: the service's keep-alive

    const QString line = utf8Text(bytes);
    const qsizetype colon = line.indexOf(u':');
    const QStringView name = colon < 0 ? QStringView(line) : QStringView(line).left(colon);
    QStringView value = colon < 0 ? QStringView() : QStringView(line).mid(colon + 1);
    if (value.startsWith(u' '))
        value = value.mid(1);

    if (name == u"event")
        m_eventType = value.toString();
    else if (name == u"data")
        m_dataLines.append(value.toString());
    // "id", "retry" and unknown fields change nothing we act on.
    return std::nullopt;
}

std::optional<ServerSentEvent> SSEParser::dispatch()
{
    if (m_eventType.isEmpty() && m_dataLines.isEmpty())
        return std::nullopt;
    ServerSentEvent event{m_eventType.isEmpty() ? QStringLiteral("message") : m_eventType,
                          m_dataLines.join(u'\n')};
    m_eventType.clear();
    m_dataLines.clear();
    return event;
}

} // namespace OrvelanNimbal
