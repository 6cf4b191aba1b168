// SPDX-License-Identifier: GPL-3.0-or-later
// Decoders of the short answers: quota, grants, presigned addresses, upload results.
#include "json/JsonRecord_p.h"
#include "models/DriveDTOs.h"

namespace OrvelanNimbal {

using namespace Json;

QuotaDTO Json::Decoder<QuotaDTO>::decode(Value &value)
{
    return decodeRecord<QuotaDTO>(value, {
                                             optional<&QuotaDTO::quotaUsed>("quota_used"),
                                             optional<&QuotaDTO::quotaMax>("quota_max"),
                                         });
}

DownloadURLDTO Json::Decoder<DownloadURLDTO>::decode(Value &value)
{
    return decodeRecord<DownloadURLDTO>(value,
                                        {
                                            required<&DownloadURLDTO::url>("url"),
                                            optional<&DownloadURLDTO::expiresIn>("expires_in"),
                                            optional<&DownloadURLDTO::fileSize>("file_size"),
                                            optional<&DownloadURLDTO::contentHash>("content_hash"),
                                            optional<&DownloadURLDTO::dateUpload>("date_upload"),
                                        });
}

PresignDTO Json::Decoder<PresignDTO>::decode(Value &value)
{
    return decodeRecord<PresignDTO>(value, {required<&PresignDTO::url>("url")});
}

CreateFolderResponseDTO Json::Decoder<CreateFolderResponseDTO>::decode(Value &value)
{
    return decodeRecord<CreateFolderResponseDTO>(value,
                                                 {required<&CreateFolderResponseDTO::id>("id")});
}

UploadResponseDTO Json::Decoder<UploadResponseDTO>::decode(Value &value)
{
    return decodeRecord<UploadResponseDTO>(
        value, {
                   required<&UploadResponseDTO::id>("id"),
                   optional<&UploadResponseDTO::s3Key>("s3_key"),
                   optional<&UploadResponseDTO::thumbnailPath>("file_miniatures_path"),
               });
}

ReplaceResponseDTO Json::Decoder<ReplaceResponseDTO>::decode(Value &value)
{
    return decodeRecord<ReplaceResponseDTO>(
        value, {
                   required<&ReplaceResponseDTO::id>("id"),
                   optional<&ReplaceResponseDTO::filePath>("file_path"),
                   optional<&ReplaceResponseDTO::fileSize>("file_size"),
                   optional<&ReplaceResponseDTO::contentHash>("content_hash"),
                   optional<&ReplaceResponseDTO::dateUpload>("date_upload"),
                   optional<&ReplaceResponseDTO::storageClass>("storage_class"),
               });
}

MultipartInitDTO Json::Decoder<MultipartInitDTO>::decode(Value &value)
{
    return decodeRecord<MultipartInitDTO>(value,
                                          {
                                              required<&MultipartInitDTO::uploadID>("upload_id"),
                                              required<&MultipartInitDTO::s3Key>("s3_key"),
                                              optional<&MultipartInitDTO::partSize>("part_size"),
                                          });
}

} // namespace OrvelanNimbal
