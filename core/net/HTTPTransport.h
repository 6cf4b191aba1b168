// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"
#include "net/HttpMessage.h"

#include <QCoro/QCoroTask>

namespace OrvelanNimbal {

// Where requests go. Performs one request exactly as given and hands back the answer whatever
// its status; status handling is the client's. Fails with DriveError::transport when nothing
// that is an HTTP answer came back, and with OperationCancelled when `cancel` fires (the
// request is then aborted).
class HTTPTransport {
public:
    virtual ~HTTPTransport() = default;
    virtual QCoro::Task<HttpResult> send(HttpRequest request, CancellationToken cancel) = 0;
};

} // namespace OrvelanNimbal
