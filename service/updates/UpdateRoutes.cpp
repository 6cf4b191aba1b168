// SPDX-License-Identifier: GPL-3.0-or-later
// What the application's updater reads: the release feed, and the release files it points to,
// served whole or by ranges.
#include "updates/UpdateRoutes.h"

#include "foundation/Database.h"
#include "foundation/JsonHttp.h"
#include "ServiceContext.h"
#include "storage/FileAnswer.h"
#include "updates/ReleaseFeed.h"
#include "updates/Releases.h"

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

void serveFeed(ServiceContext &context, const httplib::Request &request,
               httplib::Response &response)
{
    const std::vector<Release> releases = context.database().read(
        [](Connection &connection) { return publishedReleases(connection); });
    // Enclosures point back at the address the client used to reach us.
    std::string host = request.get_header_value("Host");
    if (host.empty())
        host = request.local_addr + ":" + std::to_string(request.local_port);
    response.set_content(
        releaseFeed(releases, QStringLiteral("http://") + fromStd(host)).toStdString(),
        "application/rss+xml; charset=utf-8");
}

void serveReleaseFile(ServiceContext &context, const httplib::Request &request,
                      httplib::Response &response)
{
    const QString name = fromStd(request.matches[1]);
    const auto notFound = [&response] {
        sendError(response, 404, QStringLiteral("not_found"),
                  QStringLiteral("version introuvable"));
    };
    if (!isReleaseFileName(name))
        return notFound();
    if (!answerWithFile(response,
                        releaseFolder(context.config().dataDirectory) / name.toStdString()))
        notFound();
}

} // namespace

void installUpdateRoutes(httplib::Server &server, ServiceContext &context)
{
    server.Get(updatesPrefix + "/appcast.xml",
               [&context](const httplib::Request &request, httplib::Response &response) {
                   serveFeed(context, request, response);
               });
    server.Get(updatesPrefix + "/releases/([^/]+)",
               [&context](const httplib::Request &request, httplib::Response &response) {
                   serveReleaseFile(context, request, response);
               });
}

} // namespace OrvelanNimbal::Service
