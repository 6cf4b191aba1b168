// SPDX-License-Identifier: GPL-3.0-or-later
#include "models/WireConversions.h"

namespace OrvelanNimbal {

namespace {

// The service writes 0 or a negative id for an item at the top of the drive.
std::optional<qint64> parentFromWire(std::optional<qint64> id)
{
    if (id && *id >= 1)
        return id;
    return std::nullopt;
}

// The service's empty strings mean "none"; the models never hold an empty hash or thumbnail.
std::optional<QString> presentText(std::optional<QString> &&text)
{
    if (text && text->isEmpty())
        return std::nullopt;
    return std::move(text);
}

QDateTime firstDate(std::optional<qint64> preferred, std::optional<qint64> fallback)
{
    return instantFromEpochSeconds(preferred ? *preferred : fallback.value_or(0));
}

} // namespace

DriveFile fileFromWire(FileDTO &&dto)
{
    DriveFile file;
    file.id = dto.id;
    file.parentFolderID = parentFromWire(dto.idFolder);
    file.name = std::move(dto.fileName);
    if (dto.filePath)
        file.storageKey = std::move(*dto.filePath);
    file.size = dto.fileSize ? wholeBytes(*dto.fileSize) : 0;
    file.contentHash = presentText(std::move(dto.contentHash));
    file.modifiedAt = firstDate(dto.dateModified, dto.dateUpload);
    file.isTrashed = dto.toDelete.value_or(0) > 0;
    file.storageClass = storageClassFromServerValue(dto.storageClass);
    file.thumbnailPath = presentText(std::move(dto.thumbnailPath));
    file.uploadTimestamp = dto.dateUpload;
    return file;
}

DriveFile fileFromWire(const FileDTO &dto)
{
    return fileFromWire(FileDTO(dto));
}

DriveFolder folderFromWire(FolderDTO &&dto)
{
    DriveFolder folder;
    folder.id = dto.id;
    folder.parentFolderID = parentFromWire(dto.idParent);
    folder.name = std::move(dto.folderName);
    folder.modifiedAt = firstDate(dto.dateModified, dto.dateCreation);
    folder.isTrashed = dto.toDelete.value_or(0) > 0;
    return folder;
}

DriveFolder folderFromWire(const FolderDTO &dto)
{
    return folderFromWire(FolderDTO(dto));
}

DriveChanges changesFromWire(ChangesDTO &&dto)
{
    DriveChanges changes;
    changes.cursor = dto.cursor.value_or(0);
    if (dto.folders) {
        changes.folders.reserve(dto.folders->size());
        for (FolderDTO &folder : *dto.folders)
            changes.folders.push_back(folderFromWire(std::move(folder)));
    }
    if (dto.files) {
        changes.files.reserve(dto.files->size());
        for (FileDTO &file : *dto.files)
            changes.files.push_back(fileFromWire(std::move(file)));
    }
    return changes;
}

DriveChanges changesFromWire(const ChangesDTO &dto)
{
    return changesFromWire(ChangesDTO(dto));
}

} // namespace OrvelanNimbal
