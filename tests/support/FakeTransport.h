// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "errors/DriveError.h"
#include "net/HTTPTransport.h"

#include <QList>

#include <deque>
#include <exception>
#include <functional>
#include <optional>

namespace OrvelanNimbal::Testing {

// A transport double: records every request and answers from a script. Each answer is
// delivered on a later turn of the event loop, as a real one would be, so the client's
// reentrancy is exercised. Requests are recorded with their bodies read whole (files
// included); a body whose file cannot be read fails the request as the real transport would.
class FakeTransport final : public HTTPTransport {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        HttpHeaders headers;
        std::optional<DriveError> failure; // thrown instead of answering
        bool hangs = false;                // never answers; ends only when cancelled
        // A stream that fails after its body (a connection that breaks mid-way).
        std::optional<DriveError> cutWith;
        std::exception_ptr unreadableBody; // set by the transport: the body's file failed

        static Reply ok(QByteArray body = QByteArrayLiteral("{}"))
        {
            return {200, body, {}, {}, false, {}, {}};
        }
        static Reply withStatus(int code, QByteArray body = {}, HttpHeaders headers = {})
        {
            return {code, body, headers, {}, false, {}, {}};
        }
        static Reply error(DriveError failure) { return {0, {}, {}, failure, false, {}, {}}; }
        static Reply hang() { return {0, {}, {}, {}, true, {}, {}}; }
        static Reply cut(QByteArray body, DriveError failure)
        {
            return {200, body, {}, {}, false, failure, {}};
        }
    };

    // Answers are taken from the queue in order; when it is empty, from the handler; when
    // there is none, the request fails the test with a transport error that says so.
    void enqueue(Reply reply) { m_replies.push_back(std::move(reply)); }
    void setHandler(std::function<Reply(const HttpRequest &)> handler)
    {
        m_handler = std::move(handler);
    }

    const QList<HttpRequest> &requests() const { return m_requests; }
    qsizetype pendingReplies() const { return qsizetype(m_replies.size()); }

    QCoro::Task<HttpResult> send(HttpRequest request, CancellationToken cancel) override;
    // Streams deliver the scripted body in one piece, then end (or fail with `cutWith`).
    std::unique_ptr<HttpStream> open(HttpRequest request, CancellationToken cancel,
                                     qsizetype bufferBytes = defaultStreamBuffer) override;

private:
    // Records the request and picks its answer; a body that cannot be read is the answer.
    Reply take(HttpRequest request);

    std::deque<Reply> m_replies;
    std::function<Reply(const HttpRequest &)> m_handler;
    QList<HttpRequest> m_requests;
};

} // namespace OrvelanNimbal::Testing
