// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveJson.h"

namespace OrvelanNimbal::Service::DriveJson {

QJsonObject folder(const FolderRecord &folder)
{
    return {{QStringLiteral("id"), qint64(folder.id)},
            {QStringLiteral("id_parent"), qint64(folder.parentId)},
            {QStringLiteral("folder_name"), folder.name},
            {QStringLiteral("date_creation"), qint64(folder.dateCreation)},
            {QStringLiteral("date_modified"), qint64(folder.dateModified)},
            {QStringLiteral("to_delete"), folder.trashed ? 1 : 0}};
}

QJsonObject file(const FileRecord &file)
{
    return {{QStringLiteral("id"), qint64(file.id)},
            {QStringLiteral("id_folder"), qint64(file.folderId)},
            {QStringLiteral("file_name"), file.name},
            {QStringLiteral("file_path"), file.contentKey},
            {QStringLiteral("file_size"), qint64(file.size)},
            {QStringLiteral("content_hash"), file.contentHash},
            {QStringLiteral("content_type"), file.contentType},
            {QStringLiteral("date_creation"), qint64(file.dateCreation)},
            {QStringLiteral("date_modified"), qint64(file.dateModified)},
            {QStringLiteral("date_upload"), qint64(file.dateUpload)},
            {QStringLiteral("to_delete"), file.trashed ? 1 : 0},
            {QStringLiteral("storage_class"), file.storageClass},
            {QStringLiteral("file_miniatures_path"),
             file.thumbnailPath ? QJsonValue(*file.thumbnailPath) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("locked"), file.locked ? 1 : 0},
            {QStringLiteral("reinforced"), file.reinforced ? 1 : 0}};
}

} // namespace OrvelanNimbal::Service::DriveJson
