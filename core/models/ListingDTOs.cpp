// SPDX-License-Identifier: GPL-3.0-or-later
// Decoders of the records that come by the hundred thousand: files, folders and the change feed.
#include "client/JsonValue_p.h"
#include "models/DriveDTOs.h"

namespace OrvelanNimbal {

using Json::Value;

namespace {

// Nearly every file is "standard": sharing one text saves an allocation per file.
std::optional<QString> storageClassWord(Value &field)
{
    static const QString standard = QStringLiteral("standard");
    const auto word = field.toOptionalUtf8();
    if (!word)
        return std::nullopt;
    if (*word == "standard")
        return standard;
    return QString::fromUtf8(word->data(), qsizetype(word->size()));
}

template <class T>
std::optional<std::vector<T>> optionalList(Value &field)
{
    if (field.isNull())
        return std::nullopt;
    return field.as<std::vector<T>>();
}

} // namespace

FileDTO Json::Decoder<FileDTO>::decode(Value &value)
{
    FileDTO dto;
    bool hasID = false;
    bool hasName = false;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "id") {
            dto.id = field.toInt64();
            hasID = true;
        } else if (key == "id_folder") {
            dto.idFolder = field.toOptionalInt64();
        } else if (key == "file_name") {
            dto.fileName = field.toString();
            hasName = true;
        } else if (key == "file_path") {
            dto.filePath = field.toOptionalString();
        } else if (key == "file_size") {
            dto.fileSize = field.toOptionalNumber();
        } else if (key == "content_hash") {
            dto.contentHash = field.toOptionalString();
        } else if (key == "date_modified") {
            dto.dateModified = field.toOptionalInt64();
        } else if (key == "date_upload") {
            dto.dateUpload = field.toOptionalInt64();
        } else if (key == "to_delete") {
            dto.toDelete = field.toOptionalInt64();
        } else if (key == "storage_class") {
            dto.storageClass = storageClassWord(field);
        } else if (key == "file_miniatures_path") {
            dto.thumbnailPath = field.toOptionalString();
        }
    });
    if (!hasID)
        value.missingKey("id");
    if (!hasName)
        value.missingKey("file_name");
    return dto;
}

FolderDTO Json::Decoder<FolderDTO>::decode(Value &value)
{
    FolderDTO dto;
    bool hasID = false;
    bool hasName = false;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "id") {
            dto.id = field.toInt64();
            hasID = true;
        } else if (key == "id_parent") {
            dto.idParent = field.toOptionalInt64();
        } else if (key == "folder_name") {
            dto.folderName = field.toString();
            hasName = true;
        } else if (key == "date_modified") {
            dto.dateModified = field.toOptionalInt64();
        } else if (key == "date_creation") {
            dto.dateCreation = field.toOptionalInt64();
        } else if (key == "to_delete") {
            dto.toDelete = field.toOptionalInt64();
        }
    });
    if (!hasID)
        value.missingKey("id");
    if (!hasName)
        value.missingKey("folder_name");
    return dto;
}

ChangesDTO Json::Decoder<ChangesDTO>::decode(Value &value)
{
    ChangesDTO dto;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "cursor")
            dto.cursor = field.toOptionalInt64();
        else if (key == "files")
            dto.files = optionalList<FileDTO>(field);
        else if (key == "folders")
            dto.folders = optionalList<FolderDTO>(field);
    });
    return dto;
}

template struct Json::Decoder<std::vector<FileDTO>>;
template struct Json::Decoder<std::vector<FolderDTO>>;

} // namespace OrvelanNimbal
