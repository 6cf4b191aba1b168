// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeTransport.h"

#include "async/Wakeup.h"

namespace OrvelanNimbal::Testing {

QCoro::Task<HttpResult> FakeTransport::send(HttpRequest request, CancellationToken cancel)
{
    m_requests.append(request);
    Reply reply;
    if (!m_replies.empty()) {
        reply = std::move(m_replies.front());
        m_replies.pop_front();
    } else if (m_handler) {
        reply = m_handler(request);
    } else {
        reply = Reply::error(DriveError::transport(QStringLiteral("no scripted answer for ")
                                                   + request.url.toString()));
    }

    Wakeup delivered;
    const auto onCancel = cancel.onCancel([&delivered] { delivered.fire(); });
    if (!reply.hangs)
        delivered.fire();
    co_await delivered.wait();
    cancel.throwIfCancelled();

    if (reply.failure)
        throw *reply.failure;
    HttpResult result;
    result.body = reply.body;
    result.response.statusCode = reply.status;
    result.response.headers = reply.headers;
    co_return result;
}

} // namespace OrvelanNimbal::Testing
