// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/UploadForms_p.h"
#include "api/UploadPaths_p.h"
#include "api/UploadResults_p.h"
#include "api/UploadSource_p.h"
#include "models/DriveDTOs.h"

namespace OrvelanNimbal::Uploads {

QCoro::Task<DriveFile> createDirectly(std::shared_ptr<ApiClient> client, QString name,
                                      std::optional<qint64> parentID,
                                      DriveAPI::LocalContent content, DriveAPI::Progress progress,
                                      CancellationToken cancel)
{
    const UploadSource source(content.url);
    MultipartForm form = directCreateForm(name, parentID, content, source.region(0, content.size));
    const UploadResponseDTO answer = co_await client->postMultipart<UploadResponseDTO>(
        QStringLiteral("/drive/upload/file"), std::move(form), std::move(cancel));
    if (progress)
        progress(content.size);
    co_return createdFile(answer.id, name, parentID, content, answer.s3Key.value_or(QString()),
                          answer.thumbnailPath, uploadNow(*client));
}

QCoro::Task<DriveFile> replaceDirectly(std::shared_ptr<ApiClient> client, DriveFile file,
                                       DriveAPI::LocalContent content,
                                       ReplacePrecondition precondition,
                                       DriveAPI::Progress progress, CancellationToken cancel)
{
    const UploadSource source(content.url);
    MultipartForm form =
        directReplaceForm(file, content, precondition, source.region(0, content.size));
    const ReplaceResponseDTO answer = co_await client->putMultipart<ReplaceResponseDTO>(
        QStringLiteral("/drive/files/%1/content").arg(file.id), std::move(form), std::move(cancel));
    if (progress)
        progress(content.size);
    co_return mergedAfterReplace(file, answer, uploadNow(*client));
}

} // namespace OrvelanNimbal::Uploads
