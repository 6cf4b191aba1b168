// SPDX-License-Identifier: GPL-3.0-or-later
// The live event stream: GET /api/v1/jmap/events/web?ping=N with a bearer token. The answer is
// an endless text/event-stream body: a comment now and then so that the connection is seen
// alive, and the event "drive.changed" soon after each change of the account's drive. The
// data names the account and nothing else; clients only look at the event's name.
#include "auth/Authentication.h"
#include "events/EventStreams.h"
#include "foundation/ApiPaths.h"
#include "foundation/DriveChangeHub.h"
#include "foundation/JsonHttp.h"
#include "foundation/RouteRegistry.h"
#include "foundation/ServiceContext.h"
#include "http/PushedBody.h"

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

const std::string keepAliveComment = ": ping\n\n";
// A client told to come back sooner would only be refused again.
const char *const retryAfterSeconds = "5";

std::string changeAnnouncement(std::int64_t accountId)
{
    return "event: drive.changed\ndata: {\"account\":" + std::to_string(accountId) + "}\n\n";
}

// The body of one stream, written by the connection loop for as long as the stream is open.
class StreamBody final : public PushedBody {
public:
    StreamBody(std::shared_ptr<OpenStream> stream, DriveChangeHub &hub)
        : m_stream(std::move(stream))
        , m_announcement(changeAnnouncement(m_stream->accountId()))
        , m_subscription(
              hub.subscribe(m_stream->accountId(), [raw = m_stream.get()] { raw->noteChange(); }))
    {}

    Step next(Clock::time_point now) override
    {
        const StreamStep step = m_stream->take(now);
        switch (step.kind) {
        case StreamStep::Kind::announceChange:
            return {Step::Kind::write, m_announcement, {}};
        case StreamStep::Kind::keepAlive:
            return {Step::Kind::write, keepAliveComment, {}};
        case StreamStep::Kind::waitUntil:
            return {Step::Kind::waitUntil, {}, step.until};
        case StreamStep::Kind::waitForNews:
            return {Step::Kind::waitForNews, {}, {}};
        case StreamStep::Kind::end:
            break;
        }
        // A proper end of the body: the client reconnects, it does not suspect a fault.
        return {Step::Kind::end, {}, {}};
    }

    void setWaker(std::function<void()> wake) override { m_stream->setWaker(std::move(wake)); }

private:
    std::shared_ptr<OpenStream> m_stream;
    std::string m_announcement;
    // Declared after the stream, so it ends first: the hub never reaches a stream let go.
    DriveChangeHub::Subscription m_subscription;
};

void openStream(ServiceContext &context, const httplib::Request &request,
                httplib::Response &response)
{
    const auto account = authenticate(context, request, response);
    if (!account)
        return;
    auto stream = context.component<EventStreams>().open(
        account->id, keepAliveInterval(request.get_param_value("ping")));
    if (!stream) {
        response.set_header("Retry-After", retryAfterSeconds);
        // A refused client should leave for a while, not wait on its connection.
        response.set_header("Connection", "close");
        sendError(response, 503, QStringLiteral("streams_unavailable"),
                  context.isStopping() ? QStringLiteral("le service s'arrête")
                                       : QStringLiteral("trop de flux ouverts"));
        return;
    }

    auto body =
        std::make_shared<StreamBody>(std::move(stream), context.component<DriveChangeHub>());
    // Never kept by a cache or a proxy: every byte is news for this one client.
    response.set_header("Cache-Control", "no-cache, no-store");
    // Once the head is out, the connection loop writes the body: the worker is free at once.
    response.set_chunked_content_provider("text/event-stream", [body](size_t, httplib::DataSink &) {
        handOverBody(body);
        return false;
    });
}

void installEventStreamRoutes(httplib::Server &server, ServiceContext &context)
{
    server.Get(apiPrefix + "/jmap/events/web",
               [&context](const httplib::Request &request, httplib::Response &response) {
                   openStream(context, request, response);
               });
}

[[maybe_unused]] const bool registered = RouteRegistry::add({"events", &installEventStreamRoutes});

} // namespace

} // namespace OrvelanNimbal::Service
