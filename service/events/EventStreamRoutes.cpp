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

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

const std::string keepAliveComment = ": ping\n\n";
// A client told to come back sooner would only be refused again.
const char *const retryAfterSeconds = "5";

// What the worker of one stream holds for as long as the body runs.
struct StreamSession {
    std::shared_ptr<OpenStream> stream;
    // Declared after the stream, so it ends first: the hub never reaches a stream let go.
    DriveChangeHub::Subscription subscription;
    std::string announcement;
};

std::string changeAnnouncement(std::int64_t accountId)
{
    return "event: drive.changed\ndata: {\"account\":" + std::to_string(accountId) + "}\n\n";
}

// Called by the server again and again while it returns true. Each call sleeps until the
// stream has something to say, writes it, and gives up when the client is gone.
bool writeNext(StreamSession &session, httplib::DataSink &sink)
{
    switch (session.stream->waitForNext()) {
    case OpenStream::Next::announceChange:
        return sink.write(session.announcement.data(), session.announcement.size());
    case OpenStream::Next::keepAlive:
        return sink.write(keepAliveComment.data(), keepAliveComment.size());
    case OpenStream::Next::end:
        // A proper end of the body: the client reconnects, it does not suspect a fault.
        sink.done();
        return true;
    }
    return false;
}

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
        // A refused client should leave for a while, and not keep a worker waiting on its
        // connection for a next request.
        response.set_header("Connection", "close");
        sendError(response, 503, QStringLiteral("streams_unavailable"),
                  context.isStopping() ? QStringLiteral("le service s'arrête")
                                       : QStringLiteral("trop de flux ouverts"));
        return;
    }

    auto session = std::make_shared<StreamSession>();
    session->announcement = changeAnnouncement(account->id);
    session->subscription = context.component<DriveChangeHub>().subscribe(
        account->id, [raw = stream.get()] { raw->noteChange(); });
    session->stream = std::move(stream);

    // Never kept by a cache or a proxy: every byte is news for this one client.
    response.set_header("Cache-Control", "no-cache, no-store");
    response.set_chunked_content_provider(
        "text/event-stream",
        [session](size_t, httplib::DataSink &sink) { return writeNext(*session, sink); });
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
