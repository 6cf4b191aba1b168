// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drive/DriveRecords.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace OrvelanNimbal::Service {

class DriveChange;

// What a client may do to the tree of its drive, each inside the DriveChange of one request
// (run it with changeDrive, which commits and announces). A refusal throws DriveFailure, and
// the transaction then leaves the drive exactly as it was:
//   400 a malformed name, or a folder sent inside itself;
//   404 an item that is not in this account's drive (or is in the trash);
//   409 a name another item of the destination already has (folders and files alike).
namespace DriveMutations {

std::int64_t createFolder(DriveChange &change, const QString &name, std::int64_t parentId);

void renameFile(DriveChange &change, std::int64_t fileId, const QString &name);

// Renames and/or moves a folder; nothing given, or the folder already as asked, changes nothing.
void updateFolder(DriveChange &change, std::int64_t folderId, const std::optional<QString> &name,
                  std::optional<std::int64_t> parentId);

// All the items go, or none does. Items already in the target stay as they are.
void move(DriveChange &change, const std::vector<std::int64_t> &fileIds,
          const std::vector<std::int64_t> &folderIds, std::int64_t targetId);

// To the trash, a folder with everything beneath it. Items already there stay as they are.
void trash(DriveChange &change, const std::vector<std::int64_t> &fileIds,
           const std::vector<std::int64_t> &folderIds);

// A file whose content is already in the content store (uploads, seeding, test controls):
// checks its name and folder, gives it an id when it has none and dates it now where it has
// no dates. Gives the record as stored.
FileRecord addFile(DriveChange &change, FileRecord file);

} // namespace DriveMutations

} // namespace OrvelanNimbal::Service
