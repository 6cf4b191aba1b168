// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/OpenUploads.h"

#include "drive/DriveFailure.h"
#include "drive/DriveRequests.h"
#include "foundation/Database.h"
#include "ServiceContext.h"
#include "uploads/PartStore.h"
#include "uploads/UploadLocks.h"

namespace OrvelanNimbal::Service::OpenUploads {

namespace {

UploadSession lookUp(ServiceContext &context, std::int64_t accountId, const QString &uploadId,
                     const QString &key)
{
    const auto upload = context.database().read([&](Connection &connection) {
        return UploadSessions::find(connection, accountId, uploadId);
    });
    // The key is checked too: an upload id and the key of another upload do not go together.
    if (!upload || upload->contentKey != key)
        throw DriveFailure(404, QStringLiteral("upload_not_found"),
                           QStringLiteral("aucun envoi en cours sous cet identifiant"));
    return *upload;
}

} // namespace

UploadSession find(ServiceContext &context, std::int64_t accountId, const QJsonObject &body)
{
    return lookUp(context, accountId, DriveRequests::requiredString(body, u"upload_id"),
                  DriveRequests::requiredString(body, u"s3_key"));
}

Held::Held(ServiceContext &context, std::int64_t accountId, const QJsonObject &body)
{
    const QString uploadId = DriveRequests::requiredString(body, u"upload_id");
    const QString key = DriveRequests::requiredString(body, u"s3_key");
    m_lock = context.uploadLocks.of(uploadId);
    m_held = std::unique_lock(*m_lock);
    // Looked up once held: whoever held it before may have ended the upload.
    m_upload = lookUp(context, accountId, uploadId, key);
}

void discard(ServiceContext &context, const UploadSession &upload)
{
    context.database().transaction(
        [&](Connection &connection) { UploadSessions::remove(connection, upload.id); });
    context.partStore.removeUpload(upload.accountId, upload.id);
    context.uploadDigests.forget(upload.id);
}

void sweepIdle(ServiceContext &context)
{
    const std::int64_t before = context.now() - context.lifetimes().idleUpload();
    const auto idle = context.database().read(
        [&](Connection &connection) { return UploadSessions::idleSince(connection, before); });
    for (const UploadSession &upload : idle) {
        const UploadLocks::Lock lock = context.uploadLocks.of(upload.id);
        std::unique_lock held(*lock, std::try_to_lock);
        if (!held.owns_lock())
            continue;
        // A part may have arrived between the look-up and the lock.
        const auto now = context.database().read([&](Connection &connection) {
            return UploadSessions::findAnyAccount(connection, upload.id);
        });
        if (now && now->touchedAt <= before)
            discard(context, *now);
    }
}

} // namespace OrvelanNimbal::Service::OpenUploads
