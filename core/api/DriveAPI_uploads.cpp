// SPDX-License-Identifier: GPL-3.0-or-later
// Uploads: new files and new content for existing ones.
#include "api/DriveAPI.h"
#include "api/UploadForms_p.h"
#include "api/UploadPaths_p.h"
#include "errors/DriveError.h"
#include "sync/ContentHasher.h"

#include <algorithm>

namespace OrvelanNimbal {

namespace {

bool isTooLargeForOneRequest(const DriveError &error)
{
    return error.kind() == DriveError::Kind::payloadTooLarge;
}

// The sizes, hash and upload time the service now holds, when it says so. A new file is useful
// without them, so a grant that cannot be had (or is no longer wanted) changes nothing: the file
// exists on the service either way, and reporting a failure would invite a duplicate upload.
QCoro::Task<DriveFile> refreshedFromGrant(std::shared_ptr<ApiClient> client, DriveFile file,
                                          CancellationToken cancel)
{
    const DriveAPI api(std::move(client));
    try {
        const DriveDownload grant = co_await api.contentURL(file, std::move(cancel));
        co_return file.refreshed(grant, std::nullopt);
    } catch (const DriveError &) {
    } catch (const OperationCancelled &) {
    }
    co_return file;
}

// One request carries the hash with the bytes: a hash left to the upload is made first.
QCoro::Task<DriveAPI::LocalContent> hashed(DriveAPI::LocalContent content,
                                           CancellationToken cancel)
{
    if (content.contentHash.isEmpty()) {
        QUrl file = content.url; // named: GCC 12 ends a co_await's temporaries twice
        content.contentHash = co_await ContentHasher::sha256(std::move(file), std::move(cancel));
    }
    co_return content;
}

} // namespace

qint64 DriveAPI::partSize(qint64 contentSize)
{
    constexpr qint64 smallestPart = 8388608; // 8 MiB
    constexpr qint64 mostParts = 10000;      // the storage assembles no more
    const qint64 spread = contentSize / mostParts + (contentSize % mostParts > 0 ? 1 : 0);
    return std::max(smallestPart, spread);
}

QCoro::Task<DriveFile> DriveAPI::createFile(QString name, std::optional<qint64> parentID,
                                            LocalContent content, Progress progress,
                                            CancellationToken cancel) const
{
    const auto client = m_client;
    std::optional<DriveFile> created;
    if (content.size <= directUploadLimit) {
        content = co_await hashed(std::move(content), cancel);
        try {
            created =
                co_await Uploads::createDirectly(client, name, parentID, content, progress, cancel);
        } catch (const DriveError &error) {
            // The service alone knows what it takes in one request; too large goes in parts.
            if (!isTooLargeForOneRequest(error))
                throw;
        }
    }
    if (!created)
        created = co_await Uploads::createInParts(client, name, parentID, std::move(content),
                                                  std::move(progress), cancel);
    co_return co_await refreshedFromGrant(client, std::move(*created), std::move(cancel));
}

QCoro::Task<DriveFile> DriveAPI::replaceContent(DriveFile file, LocalContent content,
                                                ReplacePrecondition precondition, Progress progress,
                                                CancellationToken cancel) const
{
    const auto client = m_client;
    if (content.size <= directUploadLimit) {
        content = co_await hashed(std::move(content), cancel);
        try {
            co_return co_await Uploads::replaceDirectly(client, file, content, precondition,
                                                        progress, cancel);
        } catch (const DriveError &error) {
            // A version conflict ends here; only "too large" goes on, in parts.
            if (!isTooLargeForOneRequest(error))
                throw;
        }
    }
    co_return co_await Uploads::replaceInParts(client, std::move(file), std::move(content),
                                               std::move(precondition), std::move(progress),
                                               std::move(cancel));
}

QCoro::Task<> DriveAPI::abortUpload(QString uploadID, QString storageKey,
                                    CancellationToken cancel) const
{
    const auto client = m_client;
    // Named first: GCC 12 ends the temporaries of a co_await expression twice.
    const Uploads::OpenedUpload upload{std::move(uploadID), std::move(storageKey), 0};
    QJsonObject body = Uploads::abandonBody(upload);
    co_await client->post(QStringLiteral("/drive/upload/multipart/abort"), std::move(body),
                          std::move(cancel));
}

} // namespace OrvelanNimbal
