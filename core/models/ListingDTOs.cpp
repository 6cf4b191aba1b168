// SPDX-License-Identifier: GPL-3.0-or-later
// Decoders of the records that come by the hundred thousand: files, folders and the change feed.
#include "json/JsonRecord_p.h"
#include "json/Utf8Text.h"
#include "models/DriveDTOs.h"

namespace OrvelanNimbal {

using namespace Json;

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
    return utf8Text(*word);
}

} // namespace

FileDTO Json::Decoder<FileDTO>::decode(Value &value)
{
    // In the order the service writes them, so that each key matches at the first comparison.
    return decodeRecord<FileDTO>(
        value, {
                   required<&FileDTO::id>("id"),
                   optional<&FileDTO::idFolder>("id_folder"),
                   required<&FileDTO::fileName>("file_name"),
                   optional<&FileDTO::filePath>("file_path"),
                   optional<&FileDTO::fileSize>("file_size"),
                   optional<&FileDTO::contentHash>("content_hash"),
                   optional<&FileDTO::dateModified>("date_modified"),
                   optional<&FileDTO::dateUpload>("date_upload"),
                   optional<&FileDTO::toDelete>("to_delete"),
                   {"storage_class", false,
                    [](FileDTO &dto, Value &field) { dto.storageClass = storageClassWord(field); }},
                   optional<&FileDTO::thumbnailPath>("file_miniatures_path"),
               });
}

FolderDTO Json::Decoder<FolderDTO>::decode(Value &value)
{
    return decodeRecord<FolderDTO>(value, {
                                              required<&FolderDTO::id>("id"),
                                              optional<&FolderDTO::idParent>("id_parent"),
                                              required<&FolderDTO::folderName>("folder_name"),
                                              optional<&FolderDTO::dateModified>("date_modified"),
                                              optional<&FolderDTO::dateCreation>("date_creation"),
                                              optional<&FolderDTO::toDelete>("to_delete"),
                                          });
}

ChangesDTO Json::Decoder<ChangesDTO>::decode(Value &value)
{
    return decodeRecord<ChangesDTO>(value, {
                                               optional<&ChangesDTO::cursor>("cursor"),
                                               optional<&ChangesDTO::files>("files"),
                                               optional<&ChangesDTO::folders>("folders"),
                                           });
}

template struct Json::Decoder<std::vector<FileDTO>>;
template struct Json::Decoder<std::vector<FolderDTO>>;

} // namespace OrvelanNimbal
