// SPDX-License-Identifier: GPL-3.0-or-later
// The live event stream: GET /api/v1/jmap/events/web?ping=N with a bearer token. The answer is
// an endless text/event-stream body: a comment now and then so that the connection is seen
// alive, and the event "drive.changed" soon after each change of the account's drive. The
// data names the account and nothing else; clients only look at the event's name.
#include "auth/Authentication.h"
#include "events/EventRoutes.h"
#include "events/EventStreams.h"
#include "foundation/ApiPaths.h"
#include "foundation/DriveChangeHub.h"
#include "foundation/JsonHttp.h"
#include "ServiceContext.h"

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

const std::string keepAliveComment = ": ping\n\n";
// A stream writes nothing for minutes at a time; its worker looks this often whether the client
// is still there, so that one who left gives the worker and its place among the streams back.
constexpr auto clientCheck = std::chrono::seconds(1);
// A client told to come back sooner would only be refused again.
const char *const retryAfterSeconds = "5";

std::string changeAnnouncement(std::int64_t accountId)
{
    return "event: drive.changed\ndata: {\"account\":" + std::to_string(accountId) + "}\n\n";
}

// Writes one stream's body on the worker that answered it, for as long as the stream is open:
// the worker sleeps on the stream between writes. False when the client went away.
class StreamWriter {
public:
    StreamWriter(std::shared_ptr<OpenStream> stream, DriveChangeHub &hub)
        : m_stream(std::move(stream))
        , m_announcement(changeAnnouncement(m_stream->accountId()))
        , m_subscription(
              hub.subscribe(m_stream->accountId(), [raw = m_stream.get()] { raw->noteChange(); }))
    {}

    bool write(httplib::DataSink &sink)
    {
        for (;;) {
            const StreamStep step = m_stream->take(StreamClock::now());
            switch (step.kind) {
            case StreamStep::Kind::announceChange:
                if (!sink.write(m_announcement.data(), m_announcement.size()))
                    return false;
                break;
            case StreamStep::Kind::keepAlive:
                if (!sink.write(keepAliveComment.data(), keepAliveComment.size()))
                    return false;
                break;
            case StreamStep::Kind::waitUntil:
            case StreamStep::Kind::waitForNews:
                m_stream->wait(step, clientCheck);
                if (!sink.is_writable())
                    return false; // the client went away
                break;
            case StreamStep::Kind::end:
                // A proper end of the body: the client reconnects, it does not suspect a fault.
                sink.done();
                return true;
            }
        }
    }

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
    auto stream = context.eventStreams.open(
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

    auto writer =
        std::make_shared<StreamWriter>(std::move(stream), context.driveChanges);
    // Never kept by a cache or a proxy: every byte is news for this one client.
    response.set_header("Cache-Control", "no-cache, no-store");
    response.set_chunked_content_provider(
        "text/event-stream",
        [writer](size_t, httplib::DataSink &sink) { return writer->write(sink); });
}

} // namespace

void installEventStreamRoutes(httplib::Server &server, ServiceContext &context)
{
    server.Get(apiPrefix + "/jmap/events/web",
               [&context](const httplib::Request &request, httplib::Response &response) {
                   openStream(context, request, response);
               });
}

} // namespace OrvelanNimbal::Service
