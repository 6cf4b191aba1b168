// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/CurlTransport.h"

#include "net/CurlMulti_p.h"
#include "net/CurlTransfer_p.h"

namespace OrvelanNimbal {

CurlTransport::CurlTransport(int transfersPerOrigin)
    : m_multi(std::make_shared<CurlMulti>(transfersPerOrigin))
{}

CurlTransport::~CurlTransport() = default;

QCoro::Task<HttpResult> CurlTransport::send(HttpRequest request, CancellationToken cancel)
{
    CurlTransfer transfer(m_multi, std::move(request), std::move(cancel), -1);
    co_return co_await transfer.whole();
}

std::unique_ptr<HttpStream> CurlTransport::open(HttpRequest request, CancellationToken cancel,
                                                qsizetype bufferBytes)
{
    return std::make_unique<CurlTransfer>(m_multi, std::move(request), std::move(cancel),
                                          std::max<qsizetype>(bufferBytes, 1));
}

} // namespace OrvelanNimbal
