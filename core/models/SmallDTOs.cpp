// SPDX-License-Identifier: GPL-3.0-or-later
// Decoders of the short answers: quota, grants, presigned addresses, upload results.
#include "client/JsonValue_p.h"
#include "models/DriveDTOs.h"

namespace OrvelanNimbal {

using Json::Value;

QuotaDTO Json::Decoder<QuotaDTO>::decode(Value &value)
{
    QuotaDTO dto;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "quota_used")
            dto.quotaUsed = field.toOptionalNumber();
        else if (key == "quota_max")
            dto.quotaMax = field.toOptionalNumber();
    });
    return dto;
}

DownloadURLDTO Json::Decoder<DownloadURLDTO>::decode(Value &value)
{
    DownloadURLDTO dto;
    bool hasURL = false;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "url") {
            dto.url = field.toString();
            hasURL = true;
        } else if (key == "expires_in") {
            dto.expiresIn = field.toOptionalInt64();
        } else if (key == "file_size") {
            dto.fileSize = field.toOptionalNumber();
        } else if (key == "content_hash") {
            dto.contentHash = field.toOptionalString();
        } else if (key == "date_upload") {
            dto.dateUpload = field.toOptionalInt64();
        }
    });
    if (!hasURL)
        value.missingKey("url");
    return dto;
}

PresignDTO Json::Decoder<PresignDTO>::decode(Value &value)
{
    std::optional<QString> url;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "url")
            url = field.toString();
    });
    if (!url)
        value.missingKey("url");
    return {*url};
}

CreateFolderResponseDTO Json::Decoder<CreateFolderResponseDTO>::decode(Value &value)
{
    std::optional<qint64> id;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "id")
            id = field.toInt64();
    });
    if (!id)
        value.missingKey("id");
    return {*id};
}

UploadResponseDTO Json::Decoder<UploadResponseDTO>::decode(Value &value)
{
    UploadResponseDTO dto;
    bool hasID = false;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "id") {
            dto.id = field.toInt64();
            hasID = true;
        } else if (key == "s3_key") {
            dto.s3Key = field.toOptionalString();
        } else if (key == "file_miniatures_path") {
            dto.thumbnailPath = field.toOptionalString();
        }
    });
    if (!hasID)
        value.missingKey("id");
    return dto;
}

ReplaceResponseDTO Json::Decoder<ReplaceResponseDTO>::decode(Value &value)
{
    ReplaceResponseDTO dto;
    bool hasID = false;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "id") {
            dto.id = field.toInt64();
            hasID = true;
        } else if (key == "file_path") {
            dto.filePath = field.toOptionalString();
        } else if (key == "file_size") {
            dto.fileSize = field.toOptionalNumber();
        } else if (key == "content_hash") {
            dto.contentHash = field.toOptionalString();
        } else if (key == "date_upload") {
            dto.dateUpload = field.toOptionalInt64();
        } else if (key == "storage_class") {
            dto.storageClass = field.toOptionalString();
        }
    });
    if (!hasID)
        value.missingKey("id");
    return dto;
}

MultipartInitDTO Json::Decoder<MultipartInitDTO>::decode(Value &value)
{
    std::optional<QString> uploadID, s3Key;
    std::optional<qint64> partSize;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "upload_id")
            uploadID = field.toString();
        else if (key == "s3_key")
            s3Key = field.toString();
        else if (key == "part_size")
            partSize = field.toOptionalInt64();
    });
    if (!uploadID)
        value.missingKey("upload_id");
    if (!s3Key)
        value.missingKey("s3_key");
    return {*uploadID, *s3Key, partSize};
}

} // namespace OrvelanNimbal
