// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeTransport.h"

#include "async/Wakeup.h"

namespace OrvelanNimbal::Testing {

namespace {

// One turn of the event loop, or until `cancel` fires when the answer never comes.
QCoro::Task<> deliveryOf(FakeTransport::Reply reply, CancellationToken cancel)
{
    Wakeup delivered;
    const auto onCancel = cancel.onCancel([&delivered] { delivered.fire(); });
    if (!reply.hangs)
        delivered.fire();
    co_await delivered.wait();
    cancel.throwIfCancelled();
    if (reply.unreadableBody)
        std::rethrow_exception(reply.unreadableBody);
    if (reply.failure)
        throw *reply.failure;
}

class FakeStream final : public HttpStream {
public:
    FakeStream(FakeTransport::Reply reply, CancellationToken cancel)
        : m_reply(std::move(reply))
        , m_cancel(std::move(cancel))
    {}

    QCoro::Task<HttpResponse> head() override
    {
        co_await deliveryOf(m_reply, m_cancel);
        HttpResponse response;
        response.statusCode = m_reply.status;
        response.headers = m_reply.headers;
        co_return response;
    }

    QCoro::Task<QByteArray> read(qsizetype) override
    {
        co_await deliveryOf(m_reply, m_cancel);
        if (!m_bodyRead) {
            m_bodyRead = true;
            if (!m_reply.body.isEmpty())
                co_return m_reply.body;
        }
        if (m_reply.cutWith)
            throw *m_reply.cutWith;
        co_return QByteArray();
    }

private:
    FakeTransport::Reply m_reply;
    CancellationToken m_cancel;
    bool m_bodyRead = false;
};

} // namespace

FakeTransport::Reply FakeTransport::take(HttpRequest request)
{
    std::exception_ptr unreadable;
    try {
        request.body = request.body.toByteArray();
    } catch (...) {
        unreadable = std::current_exception();
    }
    m_requests.append(request);
    Reply reply;
    if (unreadable) {
        reply.unreadableBody = unreadable;
        return reply;
    }
    if (!m_replies.empty()) {
        reply = std::move(m_replies.front());
        m_replies.pop_front();
    } else if (m_handler) {
        reply = m_handler(request);
    } else {
        reply = Reply::error(DriveError::transport(QStringLiteral("no scripted answer for ")
                                                   + request.url.toString()));
    }
    return reply;
}

QCoro::Task<HttpResult> FakeTransport::send(HttpRequest request, CancellationToken cancel)
{
    const Reply reply = take(std::move(request));
    co_await deliveryOf(reply, cancel);
    HttpResult result;
    result.body = reply.body;
    result.response.statusCode = reply.status;
    result.response.headers = reply.headers;
    co_return result;
}

std::unique_ptr<HttpStream> FakeTransport::open(HttpRequest request, CancellationToken cancel,
                                                qsizetype)
{
    return std::make_unique<FakeStream>(take(std::move(request)), std::move(cancel));
}

} // namespace OrvelanNimbal::Testing
