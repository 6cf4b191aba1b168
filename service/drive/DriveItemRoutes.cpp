// SPDX-License-Identifier: GPL-3.0-or-later
// Changing the tree of a drive. Each request is one transaction: it changes everything it asks
// or nothing, and, once committed, is announced to the account's event streams.
//
//   POST /api/v1/drive/folders          {"folder_name", "id_parent"}        201 {"id", ..folder}
//   PUT  /api/v1/drive/folders/{id}     {"folder_name"?, "parent_id"?}      200 folder
//   PUT  /api/v1/drive/files/{id}/rename  "new name" (a bare JSON string)   200 file
//   POST /api/v1/drive/move         {"file_ids", "folder_ids", "target_folder_id"}  {"success"}
//   POST /api/v1/drive/bulk-delete  {"file_ids", "folder_ids"}  (to the trash)      {"success"}
#include "auth/Accounts.h"
#include "drive/DriveChange.h"
#include "drive/DriveFailure.h"
#include "drive/DriveJson.h"
#include "drive/DriveLookups.h"
#include "drive/DriveMutations.h"
#include "drive/DriveRequests.h"
#include "drive/DriveRoutes.h"
#include "foundation/ApiPaths.h"
#include "foundation/JsonHttp.h"

namespace OrvelanNimbal::Service {

namespace {

using namespace DriveRequests;

void createFolder(ServiceContext &context, const Account &account, const httplib::Request &request,
                  httplib::Response &response)
{
    const QJsonObject body = objectBody(request);
    const QString name = requiredString(body, u"folder_name");
    const std::int64_t parent = optionalId(body, u"id_parent").value_or(driveRoot);
    const FolderRecord folder = changeDrive(context, account.id, [&](DriveChange &change) {
        const std::int64_t id = DriveMutations::createFolder(change, name, parent);
        return DriveLookups::liveFolder(change.connection(), account.id, id);
    });
    sendJson(response, 201, DriveJson::folder(folder));
}

void updateFolder(ServiceContext &context, const Account &account, const httplib::Request &request,
                  httplib::Response &response)
{
    const std::int64_t id = pathId(request);
    const QJsonObject body = objectBody(request);
    const auto name = optionalString(body, u"folder_name");
    const auto parent = optionalId(body, u"parent_id");
    if (!name && !parent)
        throw DriveFailure::invalid(
            QStringLiteral("rien à changer : « folder_name » ou « parent_id » est attendu"));
    const FolderRecord folder = changeDrive(context, account.id, [&](DriveChange &change) {
        DriveMutations::updateFolder(change, id, name, parent);
        return DriveLookups::liveFolder(change.connection(), account.id, id);
    });
    sendJson(response, 200, DriveJson::folder(folder));
}

void renameFile(ServiceContext &context, const Account &account, const httplib::Request &request,
                httplib::Response &response)
{
    const std::int64_t id = pathId(request);
    const QString name = stringBody(request);
    const FileRecord file = changeDrive(context, account.id, [&](DriveChange &change) {
        DriveMutations::renameFile(change, id, name);
        return DriveLookups::liveFile(change.connection(), account.id, id);
    });
    sendJson(response, 200, DriveJson::file(file));
}

void move(ServiceContext &context, const Account &account, const httplib::Request &request,
          httplib::Response &response)
{
    const QJsonObject body = objectBody(request);
    const auto files = idList(body, u"file_ids");
    const auto folders = idList(body, u"folder_ids");
    const std::int64_t target = requiredId(body, u"target_folder_id");
    changeDrive(context, account.id,
                [&](DriveChange &change) { DriveMutations::move(change, files, folders, target); });
    sendJson(response, 200, QJsonObject{{QStringLiteral("success"), true}});
}

void bulkDelete(ServiceContext &context, const Account &account, const httplib::Request &request,
                httplib::Response &response)
{
    const QJsonObject body = objectBody(request);
    const auto files = idList(body, u"file_ids");
    const auto folders = idList(body, u"folder_ids");
    changeDrive(context, account.id,
                [&](DriveChange &change) { DriveMutations::trash(change, files, folders); });
    sendJson(response, 200, QJsonObject{{QStringLiteral("success"), true}});
}

} // namespace

void installDriveItemRoutes(httplib::Server &server, ServiceContext &context)
{
    const std::string drive = apiPrefix + "/drive";
    BodyRoutes routes(server, context);
    routes.post(drive + "/folders", driveBody, driveRoute(context, &createFolder));
    routes.put(drive + R"(/folders/(-?\d+))", driveBody, driveRoute(context, &updateFolder));
    routes.put(drive + R"(/files/(-?\d+)/rename)", driveBody, driveRoute(context, &renameFile));
    routes.post(drive + "/move", driveBody, driveRoute(context, &move));
    routes.post(drive + "/bulk-delete", driveBody, driveRoute(context, &bulkDelete));
}

} // namespace OrvelanNimbal::Service
