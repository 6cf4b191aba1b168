// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "uploads/UploadLocks.h"
#include "uploads/UploadSessions.h"

#include <QJsonObject>

#include <cstdint>
#include <mutex>

namespace OrvelanNimbal::Service {

class ServiceContext;

// The multipart uploads in progress, as the routes and the test controls handle them whole:
// rows, parts on disk and locks together.
namespace OpenUploads {

// The upload a request names with "upload_id" and "s3_key", of the requesting account. 404
// "upload_not_found" for one that is over (completed, abandoned, swept) or never was.
UploadSession find(ServiceContext &context, std::int64_t accountId, const QJsonObject &body);

// The same upload, held
// alone for as long as this lives: no part is stored into it, and nobody else completes or
// abandons it meanwhile.
class Held {
public:
    Held(ServiceContext &context, std::int64_t accountId, const QJsonObject &body);

    const UploadSession &upload() const { return m_upload; }

private:
    UploadLocks::Lock m_lock;
    std::unique_lock<std::shared_mutex> m_held;
    UploadSession m_upload;
};

// Forgets the upload and deletes its parts and content. The caller holds the upload's lock
// alone.
void discard(ServiceContext &context, const UploadSession &upload);

// Discards the uploads that stored nothing for the idle lifetime (a lifetime of 0: every
// upload), except those being worked on right now. UploadExpiry calls it now and then.
void sweepIdle(ServiceContext &context);

} // namespace OpenUploads

} // namespace OrvelanNimbal::Service
