// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"
#include "net/HttpMessage.h"

#include <QCoro/QCoroTask>

namespace OrvelanNimbal {

// A request with a large body (a part of a multipart upload, a direct upload), sent over a
// connection of its own rather than through the network access manager.
//
// The manager runs its connections on a thread of its own and fetches a request's body from the
// calling thread sixteen kilobytes at a time, each piece a round trip between the two threads:
// on loopback that held uploads near 200 MiB/s, a third of what the same machine sends, and
// stalled them whenever the calling thread was busy. Here the body is written from the calling
// thread's event loop a mebibyte at a time, and no more than two are queued in the socket, so
// memory stays bounded by the body the caller already holds.
//
// HTTP/1.1, TLS for https with the system's certificate checks (never relaxed), the
// application's proxy. A connection the answer leaves open is kept for the next request to the
// same origin (see IdleConnections); a kept connection that the server had already closed
// costs nothing but a new one. The answer is read whatever its status and framing (length,
// chunks or the end of the connection). `request.timeout` is an idle timeout. Fails with
// DriveError::transport when no HTTP answer comes back, and with OperationCancelled when
// `cancel` fires (the connection is then closed).
QCoro::Task<HttpResult> sendOnOwnConnection(HttpRequest request, CancellationToken cancel);

} // namespace OrvelanNimbal
