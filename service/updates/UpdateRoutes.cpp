// SPDX-License-Identifier: GPL-3.0-or-later
// What the application's updater reads: the release feed, and the release files it points to,
// served whole or by ranges.
#include "foundation/Database.h"
#include "foundation/JsonHttp.h"
#include "foundation/RouteRegistry.h"
#include "foundation/ServiceContext.h"
#include "updates/ReleaseFeed.h"
#include "updates/Releases.h"

#include <fstream>
#include <httplib.h>
#include <memory>

namespace OrvelanNimbal::Service {

namespace {

// Release files are sent in pieces of this size, so that none sits whole in memory.
constexpr size_t readPiece = 256 * 1024;

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
    const auto path = releaseFolder(context.config().dataDirectory) / name.toStdString();
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    auto stream = std::make_shared<std::ifstream>(path, std::ios::binary);
    if (error || size == 0 || !*stream)
        return notFound();
    // Given a length, the server answers ranges itself (206 and Content-Range).
    response.set_content_provider(size, "application/octet-stream",
                                  [stream](size_t offset, size_t length, httplib::DataSink &sink) {
                                      std::string piece(std::min(length, readPiece), '\0');
                                      stream->seekg(std::streamoff(offset));
                                      stream->read(piece.data(), std::streamsize(piece.size()));
                                      const auto read = size_t(stream->gcount());
                                      return read > 0 && sink.write(piece.data(), read);
                                  });
}

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

[[maybe_unused]] const bool registered = RouteRegistry::add({"updates", &installUpdateRoutes});

} // namespace

} // namespace OrvelanNimbal::Service
