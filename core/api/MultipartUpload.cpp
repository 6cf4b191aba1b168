// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/PartLoop_p.h"
#include "api/UploadPaths_p.h"
#include "api/UploadResults_p.h"
#include "models/DriveDTOs.h"

#include <exception>

namespace OrvelanNimbal::Uploads {

QCoro::Task<DriveFile> createInParts(std::shared_ptr<ApiClient> client, QString name,
                                     std::optional<qint64> parentID, DriveAPI::LocalContent content,
                                     DriveAPI::Progress progress, CancellationToken cancel)
{
    const OpenedUpload upload =
        co_await openUpload(client, openBody(name, parentID, content), content.size, cancel);
    co_await announceOpened(client, upload, content.onPartsOpened);
    const SentParts sent =
        co_await sendPartsOrAbandon(client, upload, content, std::move(progress), cancel);
    content.contentHash = sent.contentHash;
    const std::vector<UploadedPart> &parts = sent.parts;
    // A failed finish is not abandoned: the service may have created the file and only its
    // answer been lost, and an abort must not pull the parts from under a new file.
    const UploadResponseDTO answer = co_await client->post<UploadResponseDTO>(
        QStringLiteral("/drive/upload/multipart/complete"),
        finishCreateBody(upload, parts, name, parentID, content), std::move(cancel));
    QString storageKey = answer.s3Key.value_or(QString());
    if (storageKey.isEmpty())
        storageKey = upload.storageKey;
    co_return createdFile(answer.id, name, parentID, content, std::move(storageKey), std::nullopt,
                          uploadNow(*client));
}

QCoro::Task<DriveFile> replaceInParts(std::shared_ptr<ApiClient> client, DriveFile file,
                                      DriveAPI::LocalContent content,
                                      ReplacePrecondition precondition, DriveAPI::Progress progress,
                                      CancellationToken cancel)
{
    const OpenedUpload upload = co_await openUpload(
        client, openBody(file.name, file.parentFolderID, content), content.size, cancel);
    co_await announceOpened(client, upload, content.onPartsOpened);
    const SentParts sent =
        co_await sendPartsOrAbandon(client, upload, content, std::move(progress), cancel);
    content.contentHash = sent.contentHash;
    const std::vector<UploadedPart> &parts = sent.parts;

    // A refused finish (a version conflict above all) leaves the old content in place, so the
    // stored parts serve nothing any more and are abandoned.
    std::optional<ReplaceResponseDTO> answer;
    std::exception_ptr failure;
    try {
        answer = co_await client->post<ReplaceResponseDTO>(
            QStringLiteral("/drive/files/%1/content/complete").arg(file.id),
            finishReplaceBody(upload, parts, content, precondition), std::move(cancel));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        co_await abandonUpload(client, upload);
        std::rethrow_exception(failure);
    }
    co_return mergedAfterReplace(file, *answer, uploadNow(*client));
}

} // namespace OrvelanNimbal::Uploads
