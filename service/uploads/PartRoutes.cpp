// SPDX-License-Identifier: GPL-3.0-or-later
// Multipart uploads, the storage side: a part's bytes, PUT at the pre-signed address the API
// handed out, go straight to disk as they arrive. A part cut as the service suggests (the
// init's "part_size", the last one shorter, announced with its length) is written into its
// place in the upload's content, hashed on the way into the upload's digest when it comes in
// order; any other part is a file of its own, copied into place at the completion. The answer's
// ETag (quoted, drawn for each part stored) is what the client lists when it completes the
// upload. A part sent again replaces the one before.
//
//   PUT /storage/uploads/<upload id>/<part number>?expires=…&signature=…
//       200 + ETag; 403 altered or expired address; 404 upload over; 400 a part larger than
//       5 GiB or than what the upload still lacks of its announced size
#include "foundation/Database.h"
#include "foundation/JsonHttp.h"
#include "foundation/Secrets.h"
#include "http/BodyRules.h"
#include "ServiceContext.h"
#include "storage/FileWriter.h"
#include "storage/Presigning.h"
#include "storage/StreamedFile.h"
#include "uploads/PartStore.h"
#include "uploads/StorageFaults.h"
#include "uploads/UploadBody.h"
#include "uploads/UploadLimits.h"
#include "uploads/UploadLocks.h"
#include "uploads/UploadRoutes.h"
#include "uploads/UploadSessions.h"

#include <memory>
#include <optional>
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

// Hands the body to `sink` until it ends or would go beyond `room` bytes. Whether it arrived
// whole; `tooLarge` says why not, when that is why.
template <class Sink>
bool receive(UploadBody &body, Sink &sink, std::int64_t room, bool &tooLarge)
{
    tooLarge = false;
    return body.read([&](const char *data, size_t length) {
        tooLarge = sink.size() + std::int64_t(length) > room;
        if (!tooLarge)
            sink.write(data, length);
        return !tooLarge;
    });
}

// Where the part goes in the upload's content: its place when it is cut as suggested and says
// so with its length; nothing when it must be a file of its own.
std::optional<UploadLimits::PartSlot> placeOf(const UploadSession &upload, int number,
                                              const httplib::Request &request)
{
    const auto slot = UploadLimits::suggestedSlot(upload.fileSize, number);
    if (!slot || request.get_header_value("Content-Length") != std::to_string(slot->length))
        return std::nullopt;
    return slot;
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
    const auto slot = placeOf(*upload, number, request);
    StoredPart part{number, 0, u'"' + QString::fromLatin1(randomBytes(16).toHex()) + u'"',
                    slot.has_value()};
    bool tooLarge = false;
    bool whole = false;
    std::optional<ContentDigest> digest;
    std::unique_ptr<StreamedFile> file;
    // One attempt per place at a time, from its first byte to its record: the bytes of an
    // attempt still being broken off are never written over those of the one after it.
    UploadLocks::Lock placeLock;
    std::unique_lock<std::shared_mutex> writing;
    if (slot) {
        placeLock = context.uploadLocks.of(uploadId + u'/' + QString::number(number));
        writing = std::unique_lock(*placeLock);
        // Its place is being written over: until it arrives whole, the upload has no such part.
        context.database().transaction([&](Connection &connection) {
            UploadSessions::forgetPart(connection, upload->id, number);
        });
        digest = context.uploadDigests.resume(upload->id, number);
        FileWriter region(openForWriting(store.contentPath(upload->accountId, upload->id), false),
                          slot->offset, digest ? &*digest : nullptr);
        whole = receive(body, region, room, tooLarge);
        part.size = region.size();
        if (whole && !tooLarge)
            region.finish();
    } else {
        file = std::make_unique<StreamedFile>(store.folderOf(upload->accountId, upload->id),
                                              StreamedFile::Hashing::off);
        whole = receive(body, *file, room, tooLarge);
        part.size = file->size();
        if (whole && !tooLarge)
            file->finish();
    }
    if (tooLarge)
        return sendError(response, 400, QStringLiteral("part_too_large"),
                         QStringLiteral("cette part dépasse ce que l'envoi annonçait"));
    if (!whole)
        return; // the connection broke: nobody is left to answer
    if (fault && fault->kind == StorageFaults::Kind::drop) {
        response.set_header("ETag", part.etag.toStdString());
        return; // lost: never recorded, and a part file goes with `file`
    }

    if (file)
        file->keep(store.partPath(upload->accountId, upload->id, number));
    if (digest)
        context.uploadDigests.advance(upload->id, number, std::move(*digest));
    context.database().transaction([&](Connection &connection) {
        UploadSessions::recordPart(connection, upload->id, part, context.now());
    });
    if (!fault || fault->kind != StorageFaults::Kind::omitETag)
        response.set_header("ETag", part.etag.toStdString());
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
                 body.settle(response);
             });
}

} // namespace OrvelanNimbal::Service
