// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The drive service's answers as they arrive on the wire, before conversion to models. Keys are
// the service's own; a required key must be present with the right type, an optional one may
// be missing or null. Whole-number fields refuse fractions. Decoding only: nothing here is
// ever sent.

#include "json/JsonDecoding.h"

#include <QString>

#include <optional>
#include <vector>

namespace OrvelanNimbal {

struct FileDTO {
    qint64 id = 0;                        // "id"
    std::optional<qint64> idFolder;       // "id_folder"
    QString fileName;                     // "file_name"
    std::optional<QString> filePath;      // "file_path"
    std::optional<double> fileSize;       // "file_size", any number
    std::optional<QString> contentHash;   // "content_hash"
    std::optional<qint64> dateModified;   // "date_modified", seconds since 1970
    std::optional<qint64> dateUpload;     // "date_upload", seconds since 1970
    std::optional<qint64> toDelete;       // "to_delete"
    std::optional<QString> storageClass;  // "storage_class"
    std::optional<QString> thumbnailPath; // "file_miniatures_path"
};

struct FolderDTO {
    qint64 id = 0;                      // "id"
    std::optional<qint64> idParent;     // "id_parent"
    QString folderName;                 // "folder_name"
    std::optional<qint64> dateModified; // "date_modified"
    std::optional<qint64> dateCreation; // "date_creation"
    std::optional<qint64> toDelete;     // "to_delete"
};

struct ChangesDTO {
    std::optional<qint64> cursor;                  // "cursor"
    std::optional<std::vector<FileDTO>> files;     // "files"
    std::optional<std::vector<FolderDTO>> folders; // "folders"
};

struct QuotaDTO {
    std::optional<double> quotaUsed; // "quota_used", megabytes
    std::optional<double> quotaMax;  // "quota_max", megabytes
};

struct DownloadURLDTO {
    QString url;                        // "url"
    std::optional<qint64> expiresIn;    // "expires_in"
    std::optional<double> fileSize;     // "file_size"
    std::optional<QString> contentHash; // "content_hash"
    std::optional<qint64> dateUpload;   // "date_upload"
};

struct PresignDTO {
    QString url; // "url"
};

struct CreateFolderResponseDTO {
    qint64 id = 0; // "id"
};

struct UploadResponseDTO {
    qint64 id = 0;                        // "id"
    std::optional<QString> s3Key;         // "s3_key"
    std::optional<QString> thumbnailPath; // "file_miniatures_path"
};

struct ReplaceResponseDTO {
    qint64 id = 0;                       // "id"
    std::optional<QString> filePath;     // "file_path"
    std::optional<double> fileSize;      // "file_size"
    std::optional<QString> contentHash;  // "content_hash"
    std::optional<qint64> dateUpload;    // "date_upload"
    std::optional<QString> storageClass; // "storage_class"
};

struct MultipartInitDTO {
    QString uploadID;               // "upload_id"
    QString s3Key;                  // "s3_key"
    std::optional<qint64> partSize; // "part_size"
};

#define NIMBAL_DECLARE_DECODER(Type)                                                               \
    template <>                                                                                    \
    struct Json::Decoder<Type> {                                                                   \
        static Type decode(Value &value);                                                          \
    }

NIMBAL_DECLARE_DECODER(FileDTO);
NIMBAL_DECLARE_DECODER(FolderDTO);
NIMBAL_DECLARE_DECODER(ChangesDTO);
NIMBAL_DECLARE_DECODER(QuotaDTO);
NIMBAL_DECLARE_DECODER(DownloadURLDTO);
NIMBAL_DECLARE_DECODER(PresignDTO);
NIMBAL_DECLARE_DECODER(CreateFolderResponseDTO);
NIMBAL_DECLARE_DECODER(UploadResponseDTO);
NIMBAL_DECLARE_DECODER(ReplaceResponseDTO);
NIMBAL_DECLARE_DECODER(MultipartInitDTO);

#undef NIMBAL_DECLARE_DECODER

// Listings and the change feed's lists, decodable outside the library too.
extern template struct Json::Decoder<std::vector<FileDTO>>;
extern template struct Json::Decoder<std::vector<FolderDTO>>;

} // namespace OrvelanNimbal
