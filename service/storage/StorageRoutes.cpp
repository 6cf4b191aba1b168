// SPDX-License-Identifier: GPL-3.0-or-later
// What pre-signed content addresses lead to: the bytes of a content, with their length and
// without any token, once the signature and the expiry check out.
#include "foundation/JsonHttp.h"
#include "foundation/RouteRegistry.h"
#include "foundation/ServiceContext.h"
#include "storage/ContentStore.h"
#include "storage/Presigning.h"

#include <fstream>
#include <httplib.h>
#include <memory>

namespace OrvelanNimbal::Service {

namespace {

// Content is sent in pieces of this size, so that a large file never sits whole in memory.
constexpr size_t readPiece = 256 * 1024;

void notFound(httplib::Response &response)
{
    sendError(response, 404, QStringLiteral("not_found"), QStringLiteral("contenu introuvable"));
}

void serveContent(ServiceContext &context, const httplib::Request &request,
                  httplib::Response &response)
{
    if (!admitPresigned(context, request, response))
        return;
    const auto path = context.component<ContentStore>().pathOf(fromStd(request.matches[1]));
    auto stream = path ? std::make_shared<std::ifstream>(*path, std::ios::binary)
                       : std::shared_ptr<std::ifstream>();
    if (!stream || !*stream)
        return notFound(response);
    std::error_code error;
    const auto size = std::filesystem::file_size(*path, error);
    if (error)
        return notFound(response);
    if (size == 0)
        return response.set_content(std::string(), "application/octet-stream");
    response.set_content_provider(size, "application/octet-stream",
                                  [stream](size_t offset, size_t length, httplib::DataSink &sink) {
                                      std::string piece(std::min(length, readPiece), '\0');
                                      stream->seekg(std::streamoff(offset));
                                      stream->read(piece.data(), std::streamsize(piece.size()));
                                      const auto read = size_t(stream->gcount());
                                      // A file cut short meanwhile ends the answer early; the
                                      // client sees fewer bytes than announced and says so.
                                      return read > 0 && sink.write(piece.data(), read);
                                  });
}

void installStorageRoutes(httplib::Server &server, ServiceContext &context)
{
    server.Get(storagePrefix + "/content/(.+)",
               [&context](const httplib::Request &request, httplib::Response &response) {
                   serveContent(context, request, response);
               });
}

[[maybe_unused]] const bool registered = RouteRegistry::add({"storage", &installStorageRoutes});

} // namespace

} // namespace OrvelanNimbal::Service
