// SPDX-License-Identifier: GPL-3.0-or-later
// Multipart uploads, the storage side: a part's bytes, PUT at the pre-signed address the API
// handed out, go straight to disk as they arrive and are hashed on the way; the answer's ETag
// (the part's SHA-256, quoted) is what the client lists when it completes the upload. A part
// sent again replaces the one before.
//
//   PUT /storage/uploads/<upload id>/<part number>?expires=…&signature=…
//       200 + ETag; 403 altered or expired address; 404 upload over; 400 a part larger than
//       5 GiB or than what the upload still lacks of its announced size
#include "foundation/Database.h"
#include "foundation/JsonHttp.h"
#include "http/BodyRules.h"
#include "ServiceContext.h"
#include "storage/Presigning.h"
#include "storage/StreamedFile.h"
#include "uploads/PartStore.h"
#include "uploads/StorageFaults.h"
#include "uploads/UploadBody.h"
#include "uploads/UploadLimits.h"
#include "uploads/UploadLocks.h"
#include "uploads/UploadRoutes.h"
#include "uploads/UploadSessions.h"

#include <shared_mutex>

namespace OrvelanNimbal::Service {

namespace {

// How many bytes this part may have: no more than a part may, nor than the other parts leave
// of the announced size.
std::int64_t roomFor(ServiceContext &context, const UploadSession &upload, int number)
{
    const auto parts = context.database().read(
        [&](Connection &connection) { return UploadSessions::parts(connection, upload.id); });
    std::int64_t others = 0;
    for (const StoredPart &part : parts) {
        if (part.number != number)
            others += part.size;
    }
    return std::min(UploadLimits::largestPart, upload.fileSize - others);
}

void storePart(ServiceContext &context, const httplib::Request &request, UploadBody &body,
               httplib::Response &response)
{
    if (!admitPresigned(context, request, response))
        return;
    const QString uploadId = fromStd(request.matches[1]);
    const int number = std::stoi(request.matches[2]);
    // Shared: parts may arrive side by side, but not while the upload is completed or dropped.
    const UploadLocks::Lock lock = context.uploadLocks.of(uploadId);
    const std::shared_lock held(*lock);
    const auto upload = context.database().read([&](Connection &connection) {
        return UploadSessions::findAnyAccount(connection, uploadId);
    });
    if (!upload || number < 1 || number > UploadLimits::mostParts)
        return sendError(response, 404, QStringLiteral("upload_not_found"),
                         QStringLiteral("aucun envoi en cours à cette adresse"));
    const std::int64_t room = roomFor(context, *upload, number);

    const auto fault = context.storageFaults.take();
    if (fault && fault->kind == StorageFaults::Kind::fail)
        return sendError(response, fault->status, QStringLiteral("storage_unavailable"),
                         QStringLiteral("panne du stockage provoquée par un test"));

    const PartStore &store = context.partStore;
    StreamedFile part(store.folderOf(upload->accountId, upload->id));
    bool tooLarge = false;
    const bool whole = body.read([&](const char *data, size_t length) {
        tooLarge = part.size() + std::int64_t(length) > room;
        if (!tooLarge)
            part.write(data, length);
        return !tooLarge;
    });
    if (tooLarge)
        return sendError(response, 400, QStringLiteral("part_too_large"),
                         QStringLiteral("cette part dépasse ce que l'envoi annonçait"));
    if (!whole)
        return; // the connection broke: nobody is left to answer
    const QString etag = u'"' + part.finish() + u'"';
    if (fault && fault->kind == StorageFaults::Kind::drop) {
        response.set_header("ETag", etag.toStdString());
        return; // lost: the part file goes with `part`
    }

    part.keep(store.partPath(upload->accountId, upload->id, number));
    context.database().transaction([&](Connection &connection) {
        UploadSessions::recordPart(connection, upload->id, {number, part.size(), etag},
                                   context.now());
    });
    if (!fault || fault->kind != StorageFaults::Kind::omitETag)
        response.set_header("ETag", etag.toStdString());
}

// A part, from whoever holds its pre-signed address.
constexpr BodyRule partBody{BodyRule::Kind::bytes, UploadLimits::largestPart, &admitPresigned};

} // namespace

void installPartRoutes(httplib::Server &server, ServiceContext &context)
{
    BodyRoutes(server, context)
        .put(storagePrefix + R"(/uploads/([0-9a-f]{32})/(\d{1,5}))", partBody,
             [&context](const httplib::Request &request, httplib::Response &response,
                        const httplib::ContentReader &reader) {
                 UploadBody body(request, reader);
                 storePart(context, request, body, response);
                 body.endConnectionIfLeft(response);
             });
}

} // namespace OrvelanNimbal::Service
