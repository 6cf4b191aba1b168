// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/HTTPTransport.h"

class QNetworkAccessManager;

namespace OrvelanNimbal {

// The network access manager of the calling thread, shared by everything on that thread that
// talks to the service (API requests, storage transfers, the event stream).
QNetworkAccessManager &sharedNetworkAccessManager();

// The production transport over QNetworkAccessManager. TLS certificates are always verified.
// The request's timeout is an idle timeout: the request fails when no byte moves for that long.
class NetworkAccessTransport final : public HTTPTransport {
public:
    NetworkAccessTransport();
    explicit NetworkAccessTransport(QNetworkAccessManager &manager);

    QCoro::Task<HttpResult> send(HttpRequest request, CancellationToken cancel) override;

private:
    QNetworkAccessManager *m_manager;
};

} // namespace OrvelanNimbal
