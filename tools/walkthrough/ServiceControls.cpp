// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServiceControls.h"

#include "net/CurlTransport.h"

#include <stdexcept>

namespace ServiceControls {

QCoro::Task<> expireAccessTokens(QUrl serviceRoot)
{
    using namespace OrvelanNimbal;
    HttpRequest request;
    request.url = serviceRoot.resolved(QUrl(QStringLiteral("/_test/expire")));
    request.method = QByteArrayLiteral("POST");
    request.setHeader("Content-Type", "application/json");
    request.body = QByteArrayLiteral(R"({"access_tokens":true})");
    request.timeout = 10;
    CurlTransport transport;
    const HttpResult result = co_await transport.send(request, {});
    if (!result.response.isSuccess())
        throw std::runtime_error("le service a refusé l'expiration des jetons (HTTP "
                                 + std::to_string(result.response.statusCode)
                                 + ") : lancé sans --test-controls ?");
}

} // namespace ServiceControls
