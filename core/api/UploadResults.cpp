// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/UploadResults_p.h"
#include "models/WireConversions.h"

namespace OrvelanNimbal::Uploads {

DriveFile createdFile(qint64 id, const QString &name, std::optional<qint64> parentID,
                      const DriveAPI::LocalContent &content, QString storageKey,
                      const std::optional<QString> &thumbnailPath, const QDateTime &now)
{
    DriveFile file;
    file.id = id;
    file.parentFolderID = parentID;
    file.name = name;
    file.storageKey = std::move(storageKey);
    file.size = content.size;
    if (!content.contentHash.isEmpty())
        file.contentHash = content.contentHash;
    file.modifiedAt = now;
    file.isTrashed = false;
    file.storageClass = StorageClass::standard;
    if (thumbnailPath && !thumbnailPath->isEmpty())
        file.thumbnailPath = thumbnailPath;
    return file;
}

DriveFile mergedAfterReplace(const DriveFile &old, const ReplaceResponseDTO &answer,
                             const QDateTime &now)
{
    DriveFile file = old;
    if (answer.filePath)
        file.storageKey = *answer.filePath;
    if (answer.fileSize)
        file.size = wholeBytes(*answer.fileSize);
    if (answer.contentHash && !answer.contentHash->isEmpty())
        file.contentHash = answer.contentHash;
    file.modifiedAt = now;
    file.isTrashed = false;
    file.thumbnailPath.reset();
    file.storageClass = storageClassFromServerValue(answer.storageClass);
    if (answer.dateUpload)
        file.uploadTimestamp = answer.dateUpload;
    return file;
}

QDateTime uploadNow(const ApiClient &client)
{
    return client.clock()->currentDateTime().toUTC();
}

} // namespace OrvelanNimbal::Uploads
