// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"
#include "net/HttpMessage.h"

#include <QCoro/QCoroTask>

#include <memory>

namespace OrvelanNimbal {

// An answer read as it arrives: its head first, then its body piece by piece. Receiving stops
// (the connection is no longer read) while the pieces not yet taken reach the buffer size the
// stream was opened with, so a slow reader slows the sender down instead of growing memory.
// Destroying the stream aborts a transfer still running and frees its connection.
class HttpStream {
public:
    virtual ~HttpStream() = default;

    // The head of the answer, once it has come. Fails as HTTPTransport::send does.
    virtual QCoro::Task<HttpResponse> head() = 0;
    // The bytes of the body that have arrived since the last call, once there are `atLeast`
    // (fewer only at the end of the body; capped by the stream's buffer size); empty once the
    // body has ended. Fails as send does, and when the connection breaks mid-body.
    virtual QCoro::Task<QByteArray> read(qsizetype atLeast = 1) = 0;
};

// Where requests go. Performs one request exactly as given and hands back the answer whatever
// its status; status handling is the client's. Fails with DriveError::transport when nothing
// that is an HTTP answer came back (each cause with its own reason: no such server, connection
// refused or reset, TLS, idle timeout…), with FileError when a file the body sends cannot be
// read, and with OperationCancelled when `cancel` fires (the transfer is then aborted at once).
// `request.timeout` is an idle timeout: the request fails when no byte moves for that long.
class HTTPTransport {
public:
    // What a stream holds of its body unread before it pauses, unless told otherwise.
    static constexpr qsizetype defaultStreamBuffer = 4 * 1024 * 1024;

    virtual ~HTTPTransport() = default;

    // The whole answer.
    virtual QCoro::Task<HttpResult> send(HttpRequest request, CancellationToken cancel) = 0;
    // The answer as it arrives. The request starts at once; `cancel` aborts it at any point.
    virtual std::unique_ptr<HttpStream> open(HttpRequest request, CancellationToken cancel,
                                             qsizetype bufferBytes = defaultStreamBuffer) = 0;
};

} // namespace OrvelanNimbal
