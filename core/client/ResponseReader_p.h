// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "client/HttpMessage.h"

#include <QByteArray>

#include <optional>

namespace OrvelanNimbal {

// Reads one HTTP/1.1 answer from the bytes of a connection as they arrive: the status line,
// the headers, then a body delimited by Content-Length, by chunks, or by the end of the
// connection. Pure, so that every framing can be tested without a network.
class ResponseReader {
public:
    enum class State { reading, complete, malformed };

    // Appends bytes received; gives the state after them.
    State feed(QByteArrayView bytes);
    // The connection ended: a body delimited by the end is complete, anything else cut short
    // is malformed.
    State finish();

    State state() const { return m_state; }
    // Once complete: the head and the body (chunks joined).
    const HttpResponse &response() const { return m_response; }
    const QByteArray &body() const { return m_body; }

private:
    enum class Framing { length, chunked, untilClose };

    State parseHead();
    State parseBody();
    State parseChunks();

    State m_state = State::reading;
    QByteArray m_pending; // received and not yet parsed
    bool m_headDone = false;
    HttpResponse m_response;
    Framing m_framing = Framing::untilClose;
    qint64 m_remaining = 0; // of the body (length) or of the current chunk (chunked)
    bool m_inChunk = false;
    bool m_inTrailer = false;
    QByteArray m_body;
};

} // namespace OrvelanNimbal
