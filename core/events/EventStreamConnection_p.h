// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"
#include "events/DriveEventStream.h"
#include "events/SSEParser.h"
#include "net/HTTPTransport.h"

#include <QCoro/QCoroTask>

#include <memory>

namespace OrvelanNimbal {

// One attempt at the event stream: a single HTTP exchange whose body is read as it arrives,
// never held whole. The transfer is aborted when the connection object goes away, so leaving
// the scope that owns it (cancellation, a failure, the end of run) closes the socket.
class EventStreamConnection {
public:
    EventStreamConnection(HTTPTransport &transport, HttpRequest request, CancellationToken cancel);

    // Waits for the head of the answer. Returns when the service accepted (200); throws
    // DriveError::notAuthenticated for 401 and 403, DriveError::http(status, "flux") for any
    // other status, DriveError::transport when no HTTP answer came, OperationCancelled.
    QCoro::Task<> open();

    // Reads the body to its end, awaiting onChange once per "drive.changed" event before any
    // further event is handled; while it runs, the transport stops reading the connection once
    // a little has piled up. Returns when the service ends the body; throws
    // DriveError::transport when the connection breaks or stays silent past the idle timeout,
    // OperationCancelled as soon as the token fires.
    QCoro::Task<> readEvents(DriveEventStream::ChangeHandler onChange);

private:
    std::unique_ptr<HttpStream> m_stream;
    CancellationToken m_cancel;
    SSEParser m_parser; // fresh for every connection: nothing half-parsed carries over
};

} // namespace OrvelanNimbal
