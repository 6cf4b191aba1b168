// SPDX-License-Identifier: GPL-3.0-or-later
// Multipart uploads, the API side: the content goes part by part straight to the storage, at
// pre-signed addresses, and the service assembles the parts when asked.
//
//   POST /api/v1/drive/upload/multipart/init
//        {"file_name", "file_size", "id_folder"?, "content_type"?, "storage_class"?}
//        200 {"upload_id", "s3_key", "part_size"}        507 when the file exceeds the quota
//   POST /api/v1/drive/upload/multipart/presign  {"s3_key", "upload_id", "part_number"}
//        200 {"url", "expires_in"}: PUT the part's bytes there; the answer's ETag names it
//   POST /api/v1/drive/upload/multipart/complete
//        {"s3_key", "upload_id", "parts": [{"PartNumber", "ETag"}…], "file_name", "file_size",
//         "id_folder"?, "content_type"?, "storage_class"?, "content_hash"?}
//        201 file record + "s3_key"
//   POST /api/v1/drive/files/{id}/content/complete
//        {"s3_key", "upload_id", "parts", "file_size", "content_type"?, "content_hash"?,
//         "if_content_hash"?, "if_date_upload"?}                            200 file record
//   POST /api/v1/drive/upload/multipart/abort  {"s3_key", "upload_id"}    200 {"success"}
//
// A completion takes the parts in the order listed as the new content: when they are every
// part cut as suggested, already written into their places as they came, the upload's content
// is kept as it lies, with the hash taken on the way; any other list is copied into a new file,
// hashed as it goes. It is refused with 400 when the list does not match what the storage holds
// ("invalid_parts": a part missing, listed twice, out of order, or with another ETag), when the
// parts do not add up to "file_size" ("size_mismatch"), or when the content does not have the
// announced "content_hash" ("hash_mismatch"); the drive's own refusals are ContentCommit's. A
// refused completion ends the upload: its parts are deleted and no content is kept, so that a
// client that gives up leaves nothing behind. Uploads idle for a day expire likewise
// (UploadExpiry).
#include "auth/Accounts.h"
#include "drive/DriveFailure.h"
#include "drive/DriveJson.h"
#include "drive/DriveLookups.h"
#include "drive/DriveNames.h"
#include "drive/DriveRequests.h"
#include "foundation/ApiPaths.h"
#include "foundation/Database.h"
#include "foundation/JsonHttp.h"
#include "foundation/Secrets.h"
#include "ServiceContext.h"
#include "storage/ContentStore.h"
#include "storage/Presigning.h"
#include "uploads/ContentCommit.h"
#include "uploads/OpenUploads.h"
#include "uploads/PartAssembly.h"
#include "uploads/PartStore.h"
#include "uploads/UploadLimits.h"
#include "uploads/UploadPaths.h"
#include "uploads/UploadRoutes.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QScopeGuard>

namespace OrvelanNimbal::Service {

namespace {

using namespace DriveRequests;

void requireStandardClass(const QJsonObject &body)
{
    const auto storageClass = optionalString(body, u"storage_class");
    if (storageClass && *storageClass != standardStorageClass)
        throw DriveFailure::invalid(
            QStringLiteral("un envoi se range en classe « standard », pas « %1 »")
                .arg(*storageClass));
}

std::int64_t folderOf(const QJsonObject &body)
{
    return std::max<std::int64_t>(optionalId(body, u"id_folder").value_or(driveRoot), driveRoot);
}

void openUpload(ServiceContext &context, const Account &account, const httplib::Request &request,
                httplib::Response &response)
{
    const QJsonObject body = objectBody(request);
    const QString name = requiredString(body, u"file_name");
    DriveNames::check(name);
    const std::int64_t size = requiredId(body, u"file_size");
    if (size < 0 || size > UploadLimits::largestFile)
        throw DriveFailure::invalid(QStringLiteral("« file_size » doit aller de 0 à %1 octets")
                                        .arg(UploadLimits::largestFile));
    requireStandardClass(body);
    const std::int64_t folder = folderOf(body);

    UploadSession upload;
    upload.id = QString::fromLatin1(randomBytes(16).toHex());
    upload.accountId = account.id;
    upload.contentKey = ContentStore::newKey(account.id);
    upload.fileSize = size;
    upload.createdAt = upload.touchedAt = context.now();
    context.database().transaction([&](Connection &connection) {
        DriveLookups::requireContainer(connection, account.id, folder);
        // Whether a replace fits depends on the file it replaces, known only at the end; a
        // file larger than the whole quota fits nowhere and is refused before a part is sent.
        const auto current = Accounts::findById(connection, account.id);
        if (current && !UploadLimits::couldEverFit(*current, size))
            throw DriveFailure::insufficientQuota();
        UploadSessions::insert(connection, upload);
    });
    sendJson(
        response, 200,
        QJsonObject{{QStringLiteral("upload_id"), upload.id},
                    {QStringLiteral("s3_key"), upload.contentKey},
                    {QStringLiteral("part_size"), qint64(UploadLimits::suggestedPartSize(size))}});
}

void presignPart(ServiceContext &context, const Account &account, const httplib::Request &request,
                 httplib::Response &response)
{
    const QJsonObject body = objectBody(request);
    const std::int64_t number = requiredId(body, u"part_number");
    if (number < 1 || number > UploadLimits::mostParts)
        throw DriveFailure::invalid(
            QStringLiteral("« part_number » doit aller de 1 à %1").arg(UploadLimits::mostParts));
    const UploadSession upload = OpenUploads::find(context, account.id, body);
    const PresignedUrl grant = presign(context, request, "PUT", partPath(upload.id, int(number)),
                                       context.lifetimes().presignedUrl());
    sendJson(response, 200,
             QJsonObject{{QStringLiteral("url"), fromStd(grant.url)},
                         {QStringLiteral("expires_in"), qint64(grant.expiresIn)}});
}

// The upload's parts, assembled as the body lists them and checked against what it announces.
// `finish` makes the drive change. Whatever happens, the upload is over afterwards.
template <class Finish>
FileRecord complete(ServiceContext &context, const Account &account, const QJsonObject &body,
                    Finish finish)
{
    QElapsedTimer timer;
    timer.start();
    const OpenUploads::Held held(context, account.id, body);
    const UploadSession &upload = held.upload();
    const auto timed = qScopeGuard([&] { context.lastCompletionMs = timer.elapsed(); });
    try {
        const QJsonValue partsMember = body.value(u"parts");
        if (!partsMember.isArray())
            throw DriveFailure::invalid(QStringLiteral("« parts » doit être une liste"));
        const std::vector<ListedPart> listed = listedParts(partsMember.toArray());
        if (requiredId(body, u"file_size") != upload.fileSize)
            throw DriveFailure::mismatch(
                QStringLiteral("size_mismatch"),
                QStringLiteral("« file_size » n'est plus celle annoncée à l'ouverture"));
        const auto stored = context.database().read(
            [&](Connection &connection) { return UploadSessions::parts(connection, upload.id); });

        const auto destination = context.contentStore.pathOf(upload.contentKey);
        const AssembledContent content =
            assembleParts(context.partStore, context.uploadDigests, upload, stored, listed,
                          destination->parent_path());
        ReceivedContent received{content.file, upload.contentKey, content.size, content.hash,
                                 optionalString(body, u"content_type").value_or(QString())};
        ContentCommit::requireAnnouncedHash(received, optionalString(body, u"content_hash"));
        FileRecord file = finish(received);
        OpenUploads::discard(context, upload);
        return file;
    } catch (...) {
        OpenUploads::discard(context, upload);
        throw;
    }
}

void completeCreate(ServiceContext &context, const Account &account,
                    const httplib::Request &request, httplib::Response &response)
{
    const QJsonObject body = objectBody(request);
    const FileRecord file = complete(context, account, body, [&](ReceivedContent &content) {
        requireStandardClass(body);
        return ContentCommit::create(context, account.id, content,
                                     requiredString(body, u"file_name"), folderOf(body));
    });
    QJsonObject answer = DriveJson::file(file);
    answer.insert(QStringLiteral("s3_key"), file.contentKey);
    sendJson(response, 201, answer);
}

void completeReplace(ServiceContext &context, const Account &account,
                     const httplib::Request &request, httplib::Response &response)
{
    const std::int64_t id = pathId(request);
    const QJsonObject body = objectBody(request);
    const FileRecord file = complete(context, account, body, [&](ReceivedContent &content) {
        const ReplaceGuard guard{optionalString(body, u"if_content_hash"),
                                 optionalId(body, u"if_date_upload")};
        return ContentCommit::replace(context, account.id, id, content, guard);
    });
    sendJson(response, 200, DriveJson::file(file));
}

void abortUpload(ServiceContext &context, const Account &account, const httplib::Request &request,
                 httplib::Response &response)
{
    const QJsonObject body = objectBody(request);
    const OpenUploads::Held held(context, account.id, body);
    OpenUploads::discard(context, held.upload());
    sendJson(response, 200, QJsonObject{{QStringLiteral("success"), true}});
}

} // namespace

void installMultipartRoutes(httplib::Server &server, ServiceContext &context)
{
    const std::string drive = apiPrefix + "/drive";
    BodyRoutes routes(server, context);
    routes.post(drive + "/upload/multipart/init", driveBody, driveRoute(context, &openUpload));
    routes.post(drive + "/upload/multipart/presign", driveBody, driveRoute(context, &presignPart));
    routes.post(drive + "/upload/multipart/complete", driveBody,
                driveRoute(context, &completeCreate));
    routes.post(drive + "/upload/multipart/abort", driveBody, driveRoute(context, &abortUpload));
    routes.post(drive + R"(/files/(-?\d+)/content/complete)", driveBody,
                driveRoute(context, &completeReplace));
}

} // namespace OrvelanNimbal::Service
