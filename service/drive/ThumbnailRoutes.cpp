// SPDX-License-Identifier: GPL-3.0-or-later
// Thumbnails: a pre-signed address for a key the account has, and the image behind it.
//
//   GET /api/v1/drive/thumbnails/presign?s3_key=K   200 {"url"} | 404 for an unknown key
//   GET /storage/thumbnails/{n}?expires=…&signature=…   the image | 403 | 404
#include "auth/Accounts.h"
#include "drive/DriveFailure.h"
#include "drive/DriveRequests.h"
#include "drive/DriveRoutes.h"
#include "drive/Thumbnails.h"
#include "foundation/ApiPaths.h"
#include "foundation/Database.h"
#include "foundation/JsonHttp.h"
#include "ServiceContext.h"
#include "storage/Presigning.h"

namespace OrvelanNimbal::Service {

namespace {

void presignThumbnail(ServiceContext &context, const Account &account,
                      const httplib::Request &request, httplib::Response &response)
{
    // The query arrives decoded: "a%20b%26c.jpg" is the key "a b&c.jpg".
    const QString key = fromStd(request.get_param_value("s3_key"));
    if (key.isEmpty())
        throw DriveFailure::invalid(QStringLiteral("le paramètre « s3_key » est requis"));
    const auto id = context.database().read(
        [&](Connection &connection) { return Thumbnails::idOf(connection, account.id, key); });
    if (!id)
        throw DriveFailure::notFound(QStringLiteral("aucune miniature sous cette clé"));
    const PresignedUrl grant =
        presign(context, request, "GET", thumbnailPath(*id), context.lifetimes().presignedUrl());
    sendJson(response, 200, QJsonObject{{QStringLiteral("url"), fromStd(grant.url)}});
}

void serveThumbnail(ServiceContext &context, const httplib::Request &request,
                    httplib::Response &response)
{
    if (!admitPresigned(context, request, response))
        return;
    const std::int64_t id = std::stoll(request.matches[1]);
    const auto image = context.database().read(
        [&](Connection &connection) { return Thumbnails::image(connection, id); });
    if (!image)
        return sendError(response, 404, QStringLiteral("not_found"),
                         QStringLiteral("miniature introuvable"));
    response.set_content(image->bytes.toStdString(), toStd(image->contentType));
}

} // namespace

void installThumbnailRoutes(httplib::Server &server, ServiceContext &context)
{
    server.Get(apiPrefix + "/drive/thumbnails/presign", driveRoute(context, &presignThumbnail));
    server.Get(storagePrefix + R"(/thumbnails/(\d{1,18}))",
               [&context](const httplib::Request &request, httplib::Response &response) {
                   serveThumbnail(context, request, response);
               });
}

} // namespace OrvelanNimbal::Service
