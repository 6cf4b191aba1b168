// SPDX-License-Identifier: GPL-3.0-or-later
// Test controls of the event streams, installed only with --test-controls. They let a test
// drop, silence and feed the streams its client holds, without waiting for a real change.
//
//   POST /_test/events/publish  {"email"}            → {"published_ns"} (monotonic clock)
//   POST /_test/events/close    {"email"?}           → {"closed"}  ends the bodies properly
//   POST /_test/events/stall    {"email"?}           → {"stalled"} silence, connections kept
//   GET  /_test/events/streams[?email=E]             → {"open", "limit"}
//   POST /_test/events/settings {"keepalive_ms"?, "debounce_ms"?, "max_streams"?}   → 204
//   POST /_test/events/reset    settings back to start, every stream ended          → 204
//
// Without "email" a control acts on every account. A stalled stream writes nothing, with its
// connection left open: it ends when closed, reset, its client leaves or the service stops. New
// streams are refused with a chosen status through /_test/faults on GET /api/v1/jmap/events/web,
// like any other route.
#include "auth/Accounts.h"
#include "events/EventRoutes.h"
#include "events/EventStreams.h"
#include "foundation/ApiPaths.h"
#include "foundation/Database.h"
#include "foundation/DriveChangeHub.h"
#include "foundation/JsonHttp.h"
#include "ServiceContext.h"

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

using Handler = void (*)(ServiceContext &, const httplib::Request &, httplib::Response &);

// Longer than any debounce a test could want: beyond it a change would look lost.
constexpr qint64 longestDebounceMilliseconds = 1000;

void badRequest(httplib::Response &response, const QString &message)
{
    sendError(response, 400, QStringLiteral("invalid_request"), message);
}

// The account an address names. False, with the answer given, when it names none.
bool findAccount(ServiceContext &context, const QString &email, httplib::Response &response,
                 std::optional<std::int64_t> &accountId)
{
    const auto account = context.database().read(
        [&](Connection &connection) { return Accounts::findByEmail(connection, email); });
    if (!account) {
        sendError(response, 404, QStringLiteral("unknown_account"),
                  QStringLiteral("aucun compte pour cette adresse"));
        return false;
    }
    accountId = account->id;
    return true;
}

// The streams a control is about: those of the account named by "email" in its JSON body, or
// every stream when the body is empty or has no "email". False, with the answer given, when
// the body is not a JSON object, "email" is not text, or names no account.
bool targetAccount(ServiceContext &context, const httplib::Request &request,
                   httplib::Response &response, std::optional<std::int64_t> &accountId)
{
    accountId.reset();
    if (request.body.empty())
        return true;
    const auto body = jsonObjectBody(request);
    if (!body) {
        badRequest(response, QStringLiteral("un objet JSON est attendu"));
        return false;
    }
    if (!body->contains(u"email"))
        return true;
    const auto email = stringMember(*body, u"email");
    if (!email) {
        badRequest(response, QStringLiteral("« email » doit être un texte"));
        return false;
    }
    return findAccount(context, *email, response, accountId);
}

void publish(ServiceContext &context, const httplib::Request &request, httplib::Response &response)
{
    std::optional<std::int64_t> accountId;
    if (!targetAccount(context, request, response, accountId))
        return;
    if (!accountId)
        return badRequest(response, QStringLiteral("« email » est requis"));
    // Read just before the hub is told, on the clock every process of the machine shares, so
    // that a client on the same machine can measure how long the news took to reach it.
    const auto publishedAt = std::chrono::steady_clock::now().time_since_epoch();
    context.driveChanges.publish(*accountId);
    sendJson(response, 200,
             QJsonObject{{QStringLiteral("published_ns"),
                          qint64(std::chrono::nanoseconds(publishedAt).count())}});
}

template <class Act>
void actOnStreams(ServiceContext &context, const httplib::Request &request,
                  httplib::Response &response, const char *resultKey, Act act)
{
    std::optional<std::int64_t> accountId;
    if (!targetAccount(context, request, response, accountId))
        return;
    const int reached = act(context.eventStreams, accountId);
    sendJson(response, 200, QJsonObject{{QString::fromLatin1(resultKey), reached}});
}

void closeStreams(ServiceContext &context, const httplib::Request &request,
                  httplib::Response &response)
{
    actOnStreams(context, request, response, "closed",
                 [](EventStreams &streams, std::optional<std::int64_t> accountId) {
                     return streams.endStreams(accountId);
                 });
}

void stallStreams(ServiceContext &context, const httplib::Request &request,
                  httplib::Response &response)
{
    actOnStreams(context, request, response, "stalled",
                 [](EventStreams &streams, std::optional<std::int64_t> accountId) {
                     return streams.stallStreams(accountId);
                 });
}

void countStreams(ServiceContext &context, const httplib::Request &request,
                  httplib::Response &response)
{
    std::optional<std::int64_t> accountId;
    if (request.has_param("email")
        && !findAccount(context, fromStd(request.get_param_value("email")), response, accountId))
        return;
    EventStreams &streams = context.eventStreams;
    sendJson(response, 200,
             QJsonObject{{QStringLiteral("open"), streams.count(accountId)},
                         {QStringLiteral("limit"), streams.settings().limit}});
}

void changeSettings(ServiceContext &context, const httplib::Request &request,
                    httplib::Response &response)
{
    const auto body = jsonObjectBody(request);
    if (!body)
        return badRequest(response, QStringLiteral("un objet JSON est attendu"));
    EventStreams &streams = context.eventStreams;
    EventStreams::Settings settings = streams.settings();
    if (body->contains(u"keepalive_ms")) {
        const qint64 milliseconds = body->value(u"keepalive_ms").toInteger(-1);
        if (milliseconds < 1)
            return badRequest(response, QStringLiteral("« keepalive_ms » doit être positif"));
        settings.keepAlive = std::chrono::milliseconds(milliseconds);
    }
    if (body->contains(u"debounce_ms")) {
        const qint64 milliseconds = body->value(u"debounce_ms").toInteger(-1);
        if (milliseconds < 0 || milliseconds > longestDebounceMilliseconds)
            return badRequest(response, QStringLiteral("« debounce_ms » doit aller de 0 à 1000"));
        settings.debounce = std::chrono::milliseconds(milliseconds);
    }
    if (body->contains(u"max_streams")) {
        // Never above the default, which bounds what the streams cost.
        const qint64 limit = body->value(u"max_streams").toInteger(-1);
        if (limit < 0 || limit > streams.defaultLimit())
            return badRequest(
                response,
                QStringLiteral("« max_streams » doit aller de 0 à %1").arg(streams.defaultLimit()));
        settings.limit = int(limit);
    }
    streams.setSettings(settings);
    response.status = 204;
}

void resetStreams(ServiceContext &context, const httplib::Request &, httplib::Response &response)
{
    context.eventStreams.reset();
    response.status = 204;
}

httplib::Server::Handler bound(ServiceContext &context, Handler handler)
{
    return [&context, handler](const httplib::Request &request, httplib::Response &response) {
        handler(context, request, response);
    };
}

} // namespace

void installEventStreamControls(httplib::Server &server, ServiceContext &context)
{
    const std::string root = testControlPrefix + "/events";
    server.Post(root + "/publish", bound(context, &publish));
    server.Post(root + "/close", bound(context, &closeStreams));
    server.Post(root + "/stall", bound(context, &stallStreams));
    server.Get(root + "/streams", bound(context, &countStreams));
    server.Post(root + "/settings", bound(context, &changeSettings));
    server.Post(root + "/reset", bound(context, &resetStreams));
}

} // namespace OrvelanNimbal::Service
