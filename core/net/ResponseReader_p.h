// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/HttpMessage.h"

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
    // Whether a received byte has been seen at all: a connection that ends before any was
    // closed by the peer before it read the request, or while it sat idle.
    bool hasReceived() const { return m_received; }
    // Whether the connection may carry another request after this answer: complete without
    // waiting for the end of the connection, HTTP/1.1 without "Connection: close", and
    // nothing received beyond it.
    bool leavesConnectionOpen() const;

private:
    enum class Framing { length, chunked, untilClose };

    State parseHead();
    State parseBody();
    State parseChunks();

    State m_state = State::reading;
    QByteArray m_pending; // received and not yet parsed
    bool m_received = false;
    bool m_headDone = false;
    bool m_persistent = false;   // HTTP/1.1, and no "Connection: close"
    bool m_beyondAnswer = false; // bytes came after the whole answer
    HttpResponse m_response;
    Framing m_framing = Framing::untilClose;
    qint64 m_remaining = 0; // of the body (length) or of the current chunk (chunked)
    bool m_inChunk = false;
    bool m_inTrailer = false;
    QByteArray m_body;
};

} // namespace OrvelanNimbal
