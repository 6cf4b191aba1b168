// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a drive: the change feed, and the folders and files right under a folder. Listings
// show the live tree (the trash is left out); the feed shows everything that changed, items
// sent to the trash included, with "to_delete" 1. From 0 it is the whole drive, however much
// of the feed was forgotten.
//
//   GET /api/v1/drive/changes?since=N        {"cursor", "folders": [..], "files": [..]} | 410
//   GET /api/v1/drive/folders[?id_parent=N]  [folder..]
//   GET /api/v1/drive/files?limit=N[&id_folder=N]  [file..], at most N (and at most 100000)
#include "auth/Accounts.h"
#include "drive/ChangeFeed.h"
#include "drive/DriveFailure.h"
#include "drive/DriveJson.h"
#include "drive/DriveLookups.h"
#include "drive/DriveRequests.h"
#include "drive/DriveRoutes.h"
#include "drive/DriveStore.h"
#include "foundation/ApiPaths.h"
#include "foundation/Database.h"
#include "foundation/JsonHttp.h"
#include "ServiceContext.h"

#include <QJsonArray>

namespace OrvelanNimbal::Service {

namespace {

// The most files one listing gives: clients take one answer as the whole folder.
constexpr std::int64_t maxListedFiles = 100000;

template <class Record, class Convert>
QJsonArray jsonArray(const std::vector<Record> &records, Convert convert)
{
    QJsonArray array;
    for (const Record &record : records)
        array.append(convert(record));
    return array;
}

void changes(ServiceContext &context, const Account &account, const httplib::Request &request,
             httplib::Response &response)
{
    const auto since = DriveRequests::queryNumber(request, "since");
    if (!since)
        throw DriveFailure::invalid(QStringLiteral("le paramètre « since » est requis"));
    const QJsonObject page = context.database().read([&](Connection &connection) {
        const ChangeFeed::Window window = ChangeFeed::window(connection, account.id);
        if (!window.answers(*since))
            throw DriveFailure::cursorExpired();
        return QJsonObject{
            {QStringLiteral("cursor"), qint64(window.last)},
            {QStringLiteral("folders"),
             jsonArray(DriveStore::foldersChangedAfter(connection, account.id, *since),
                       DriveJson::folder)},
            {QStringLiteral("files"),
             jsonArray(DriveStore::filesChangedAfter(connection, account.id, *since),
                       DriveJson::file)}};
    });
    sendJson(response, 200, page);
}

void folders(ServiceContext &context, const Account &account, const httplib::Request &request,
             httplib::Response &response)
{
    const std::int64_t parent = DriveRequests::queryFolder(request, "id_parent");
    const QJsonArray listing = context.database().read([&](Connection &connection) {
        DriveLookups::requireContainer(connection, account.id, parent);
        return jsonArray(DriveStore::foldersIn(connection, account.id, parent), DriveJson::folder);
    });
    sendJson(response, 200, listing);
}

void files(ServiceContext &context, const Account &account, const httplib::Request &request,
           httplib::Response &response)
{
    const std::int64_t limit =
        DriveRequests::queryNumber(request, "limit").value_or(maxListedFiles);
    if (limit < 1)
        throw DriveFailure::invalid(QStringLiteral("« limit » doit valoir au moins 1"));
    const std::int64_t folder = DriveRequests::queryFolder(request, "id_folder");
    const QJsonArray listing = context.database().read([&](Connection &connection) {
        DriveLookups::requireContainer(connection, account.id, folder);
        return jsonArray(
            DriveStore::filesIn(connection, account.id, folder, std::min(limit, maxListedFiles)),
            DriveJson::file);
    });
    sendJson(response, 200, listing);
}

} // namespace

void installDriveReadRoutes(httplib::Server &server, ServiceContext &context)
{
    const std::string drive = apiPrefix + "/drive";
    server.Get(drive + "/changes", driveRoute(context, &changes));
    server.Get(drive + "/folders", driveRoute(context, &folders));
    server.Get(drive + "/files", driveRoute(context, &files));
}

} // namespace OrvelanNimbal::Service
