// SPDX-License-Identifier: GPL-3.0-or-later
#include "errors/DriveError.h"
#include "events/EventStreamConnection_p.h"

namespace OrvelanNimbal {

namespace {

// What the transport may hold for us while onChange runs. Once it is full the connection is
// no longer read, so a slow consumer slows the service down instead of growing our memory.
constexpr qsizetype readBufferBytes = 64 * 1024;

} // namespace

EventStreamConnection::EventStreamConnection(HTTPTransport &transport, HttpRequest request,
                                             CancellationToken cancel)
    : m_stream(transport.open(std::move(request), cancel, readBufferBytes))
    , m_cancel(std::move(cancel))
{}

QCoro::Task<> EventStreamConnection::open()
{
    const HttpResponse head = co_await m_stream->head();
    switch (head.statusCode) {
    case 200:
        co_return;
    case 401:
    case 403:
        throw DriveError::notAuthenticated();
    default:
        // Even another 2xx is refused: only a 200 is known to be the stream.
        throw DriveError::http(head.statusCode, QStringLiteral("flux"));
    }
}

QCoro::Task<> EventStreamConnection::readEvents(DriveEventStream::ChangeHandler onChange)
{
    for (;;) {
        m_cancel.throwIfCancelled();
        const QByteArray chunk = co_await m_stream->read();
        if (chunk.isEmpty())
            co_return; // the service ended the body
        for (const ServerSentEvent &event : m_parser.feed(chunk)) {
            if (event.event != DriveEventStream::changedEvent)
                continue;
            co_await onChange();
            m_cancel.throwIfCancelled();
        }
    }
}

} // namespace OrvelanNimbal
