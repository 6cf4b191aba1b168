// SPDX-License-Identifier: GPL-3.0-or-later
#include "models/WireListings.h"

#include "models/WireConversions.h"

namespace OrvelanNimbal {

std::vector<DriveFile> filesFromWireListing(const QByteArray &json)
{
    std::vector<DriveFile> files;
    Json::decodeEach<FileDTO>(
        json, [&](FileDTO &&record) { files.push_back(fileFromWire(std::move(record))); });
    return files;
}

std::vector<DriveFolder> foldersFromWireListing(const QByteArray &json)
{
    std::vector<DriveFolder> folders;
    Json::decodeEach<FolderDTO>(
        json, [&](FolderDTO &&record) { folders.push_back(folderFromWire(std::move(record))); });
    return folders;
}

} // namespace OrvelanNimbal
