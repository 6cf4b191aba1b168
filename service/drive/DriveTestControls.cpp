// SPDX-License-Identifier: GPL-3.0-or-later
// Test controls of the drive, installed only with --test-controls: files with chosen content,
// storage class, thumbnails or lock (for what uploads cannot make), a file's state changed as the
// web site would, and a change feed that forgets.
//
//   POST /_test/drive/files    {"email", "file_name", "id_folder"?, "content"?, "content_type"?,
//                               "storage_class"?, "file_miniatures_path"?, "thumbnails"?: [key..],
//                               "locked"?}                                → 201 file record
//   POST /_test/drive/flags    {"email", "id", "locked"?, "reinforced"?, "storage_class"?}
//                              a file's state changed as the web site would   → 200 file record
//   POST /_test/drive/compact  {"email"}     the feed refuses every cursor but the newest
//                                                                         → {"cursor"}
//   POST /_test/drive/seed     {"email", "folders", "files"}  a large drive in one change:
//                              folders "Dossier N" at the root, empty files "fichier-NNNNNN.txt"
//                              spread over them                          → {"folders", "files"}
#include "auth/Accounts.h"
#include "drive/ChangeFeed.h"
#include "drive/DriveChange.h"
#include "drive/DriveFailure.h"
#include "drive/DriveJson.h"
#include "drive/DriveLookups.h"
#include "drive/DriveMutations.h"
#include "drive/DriveRequests.h"
#include "drive/DriveRoutes.h"
#include "drive/DriveStore.h"
#include "drive/Thumbnails.h"
#include "drive/TinyPng.h"
#include "foundation/ApiPaths.h"
#include "foundation/JsonHttp.h"
#include "storage/ContentStore.h"

#include <QJsonArray>

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace OrvelanNimbal::Service {

namespace {

using namespace DriveRequests;
using Control = void (*)(ServiceContext &, const QJsonObject &, httplib::Response &);

std::int64_t accountOf(ServiceContext &context, const QJsonObject &body)
{
    const QString email = requiredString(body, u"email");
    const auto account = context.database().read(
        [&](Connection &connection) { return Accounts::findByEmail(connection, email); });
    if (!account)
        throw DriveFailure::notFound(QStringLiteral("aucun compte pour cette adresse"));
    return account->id;
}

void addFile(ServiceContext &context, const QJsonObject &body, httplib::Response &response)
{
    const std::int64_t accountId = accountOf(context, body);
    const QByteArray content = optionalString(body, u"content").value_or(QString()).toUtf8();
    FileRecord file;
    file.name = requiredString(body, u"file_name");
    file.folderId = optionalId(body, u"id_folder").value_or(driveRoot);
    file.size = content.size();
    file.contentHash = contentHash(content);
    file.contentType = optionalString(body, u"content_type").value_or(file.contentType);
    file.storageClass = optionalString(body, u"storage_class").value_or(file.storageClass);
    file.thumbnailPath = optionalString(body, u"file_miniatures_path");
    file.locked = body.value(u"locked").toBool(false);
    const QJsonArray thumbnails = body.value(u"thumbnails").toArray();

    const ContentStore &store = context.contentStore;
    file.contentKey = ContentStore::newKey(accountId);
    store.write(file.contentKey, content);
    try {
        file = changeDrive(context, accountId, [&](DriveChange &change) {
            for (const QJsonValue &key : thumbnails)
                Thumbnails::put(change.connection(), accountId, key.toString(),
                                {QStringLiteral("image/png"),
                                 gradientPng(64, 64, {30, 120, 200}, {240, 240, 250})});
            return DriveMutations::addFile(change, file);
        });
    } catch (...) {
        store.remove(file.contentKey);
        throw;
    }
    sendJson(response, 201, DriveJson::file(file));
}

// As the web site would: the file opened in the online editor, put under reinforced
// protection, or archived. A drive change like any other, so that clients hear of it.
void setFlags(ServiceContext &context, const QJsonObject &body, httplib::Response &response)
{
    const std::int64_t accountId = accountOf(context, body);
    const std::int64_t id = requiredId(body, u"id");
    const FileRecord file = changeDrive(context, accountId, [&](DriveChange &change) {
        FileRecord file = DriveLookups::anyFile(change.connection(), accountId, id);
        file.locked = body.value(u"locked").toBool(file.locked);
        file.reinforced = body.value(u"reinforced").toBool(file.reinforced);
        file.storageClass = optionalString(body, u"storage_class").value_or(file.storageClass);
        DriveStore::updateFile(change.connection(), file, change.cursor());
        return file;
    });
    sendJson(response, 200, DriveJson::file(file));
}

void compact(ServiceContext &context, const QJsonObject &body, httplib::Response &response)
{
    const std::int64_t accountId = accountOf(context, body);
    const std::int64_t cursor = context.database().transaction(
        [&](Connection &connection) { return ChangeFeed::compact(connection, accountId); });
    sendJson(response, 200, QJsonObject{{QStringLiteral("cursor"), qint64(cursor)}});
}

// Benchmarks need drives of a hundred thousand items; made one request at a time they would
// take longer than what is measured. One transaction, and the empty contents written without
// the atomic replacement a real upload deserves (nothing reads them before the answer).
void seed(ServiceContext &context, const QJsonObject &body, httplib::Response &response)
{
    const std::int64_t accountId = accountOf(context, body);
    const int folderCount = std::max(1, body.value(u"folders").toInt(1));
    const int fileCount = std::max(0, body.value(u"files").toInt(0));
    const ContentStore &store = context.contentStore;
    const QString emptyHash = contentHash({});
    std::vector<QString> keys;
    keys.reserve(size_t(fileCount));
    for (int i = 0; i < fileCount; ++i) {
        keys.push_back(ContentStore::newKey(accountId));
        const auto path = store.pathOf(keys.back());
        std::error_code error;
        std::filesystem::create_directories(path->parent_path(), error);
        if (error || !std::ofstream(*path, std::ios::binary))
            throw std::runtime_error("écriture du contenu impossible");
    }
    changeDrive(context, accountId, [&](DriveChange &change) {
        std::vector<std::int64_t> folders;
        for (int i = 0; i < folderCount; ++i)
            folders.push_back(
                DriveMutations::createFolder(change, QStringLiteral("Dossier %1").arg(i), driveRoot));
        for (int i = 0; i < fileCount; ++i) {
            FileRecord file;
            file.name = QStringLiteral("fichier-%1.txt").arg(i, 6, 10, QChar(u'0'));
            file.folderId = folders[size_t(i % folderCount)];
            file.contentHash = emptyHash;
            file.contentKey = keys[size_t(i)];
            DriveMutations::addFile(change, file);
        }
    });
    sendJson(response, 200,
             QJsonObject{{QStringLiteral("folders"), folderCount},
                         {QStringLiteral("files"), fileCount}});
}

httplib::Server::Handler control(ServiceContext &context, Control handler)
{
    return [&context, handler](const httplib::Request &request, httplib::Response &response) {
        try {
            handler(context, objectBody(request), response);
        } catch (const DriveFailure &failure) {
            failure.answer(response);
        }
    };
}

} // namespace

void installDriveTestControls(httplib::Server &server, ServiceContext &context)
{
    const std::string root = testControlPrefix + "/drive";
    server.Post(root + "/files", control(context, &addFile));
    server.Post(root + "/flags", control(context, &setFlags));
    server.Post(root + "/compact", control(context, &compact));
    server.Post(root + "/seed", control(context, &seed));
}

} // namespace OrvelanNimbal::Service
