// SPDX-License-Identifier: GPL-3.0-or-later
// Download grants: a pre-signed address of a file's content, good for a while, with what the
// client needs to check what it receives. Archived content is only served from the web.
//
//   GET /api/v1/drive/files/{id}/download-url
//       200 {"url", "expires_in", "file_size", "content_hash", "date_upload"}
//       409 + "X-Drive-Conflict: archived" for a storage class other than "standard"
#include "auth/Accounts.h"
#include "drive/DriveFailure.h"
#include "drive/DriveLookups.h"
#include "drive/DriveRequests.h"
#include "drive/DriveRoutes.h"
#include "foundation/ApiPaths.h"
#include "foundation/Database.h"
#include "foundation/JsonHttp.h"
#include "ServiceContext.h"
#include "storage/Presigning.h"

namespace OrvelanNimbal::Service {

namespace {

void downloadUrl(ServiceContext &context, const Account &account, const httplib::Request &request,
                 httplib::Response &response)
{
    const std::int64_t id = DriveRequests::pathId(request);
    const FileRecord file = context.database().read(
        [&](Connection &connection) { return DriveLookups::anyFile(connection, account.id, id); });
    if (file.isArchived())
        throw DriveFailure::archived();
    const PresignedUrl grant = presign(context, request, "GET", contentPath(file.contentKey),
                                       context.lifetimes().presignedUrl());
    sendJson(response, 200,
             QJsonObject{{QStringLiteral("url"), fromStd(grant.url)},
                         {QStringLiteral("expires_in"), qint64(grant.expiresIn)},
                         {QStringLiteral("file_size"), qint64(file.size)},
                         {QStringLiteral("content_hash"), file.contentHash},
                         {QStringLiteral("date_upload"), qint64(file.dateUpload)}});
}

} // namespace

void installDownloadRoutes(httplib::Server &server, ServiceContext &context)
{
    server.Get(apiPrefix + R"(/drive/files/(-?\d+)/download-url)",
               driveRoute(context, &downloadUrl));
}

} // namespace OrvelanNimbal::Service
