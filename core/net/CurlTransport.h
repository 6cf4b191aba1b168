// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/HTTPTransport.h"

#include <memory>

namespace OrvelanNimbal {

class CurlMulti;

// The production transport, over libcurl, driven by the event loop of the thread that creates
// it (and which alone may use it): API requests, storage transfers to and from files, and the
// event stream all go through it, many at once.
//
// - TLS certificates and host names are always verified; HTTP/2 is used when the server offers
//   it, several transfers then sharing one connection.
// - Connections and TLS sessions are kept and used again by later requests to the same place.
// - Proxies are those of the environment (https_proxy, http_proxy, all_proxy, no_proxy),
//   with their credentials; redirections are never followed.
// - At most `transfersPerOrigin` transfers run at once towards one scheme, host and port; the
//   others wait their turn (their idle timeout starts with them).
// - A body above a mebibyte waits for the server's go-ahead ("Expect: 100-continue"), so that
//   a refusal is read as the answer it is.
class CurlTransport final : public HTTPTransport {
public:
    static constexpr int defaultTransfersPerOrigin = 8;

    explicit CurlTransport(int transfersPerOrigin = defaultTransfersPerOrigin);
    ~CurlTransport() override;

    QCoro::Task<HttpResult> send(HttpRequest request, CancellationToken cancel) override;
    std::unique_ptr<HttpStream> open(HttpRequest request, CancellationToken cancel,
                                     qsizetype bufferBytes = defaultStreamBuffer) override;

private:
    // Shared with the transfers in flight, which may outlive the transport by a little.
    std::shared_ptr<CurlMulti> m_multi;
};

} // namespace OrvelanNimbal
