// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drive/DriveRecords.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace OrvelanNimbal::Service {

struct SchemaModule;

class Connection;

// The rows of the drive, read and written inside the caller's transaction. Nothing here checks
// what a request may do: that is DriveMutations' business; every look-up is confined to one
// account, so another account's ids are simply not found.
namespace DriveStore {

// The next id of the sequence shared by folders and files.
std::int64_t allocateId(Connection &connection);

std::optional<FolderRecord> folder(Connection &connection, std::int64_t accountId, std::int64_t id);
std::optional<FileRecord> file(Connection &connection, std::int64_t accountId, std::int64_t id);

// Items right under a folder that are not in the trash, by name.
std::vector<FolderRecord> foldersIn(Connection &connection, std::int64_t accountId,
                                    std::int64_t parentId);
std::vector<FileRecord> filesIn(Connection &connection, std::int64_t accountId,
                                std::int64_t folderId, std::int64_t limit);

// Items stamped by a mutation after `cursor`, trashed ones included, in the order they changed.
std::vector<FolderRecord> foldersChangedAfter(Connection &connection, std::int64_t accountId,
                                              std::int64_t cursor);
std::vector<FileRecord> filesChangedAfter(Connection &connection, std::int64_t accountId,
                                          std::int64_t cursor);

// Whether an item right under `parentId`, not in the trash, is called `name`. The item being
// renamed or moved (`kind`, `id`) does not count against itself.
bool nameTaken(Connection &connection, std::int64_t accountId, std::int64_t parentId,
               const QString &name, ItemKind kind = ItemKind::file, std::int64_t id = 0);

// The folder and every folder beneath it, trashed or not.
std::vector<std::int64_t> subtree(Connection &connection, std::int64_t accountId,
                                  std::int64_t folderId);

// Rows are written whole and stamped with the cursor of the mutation that wrote them.
void insertFolder(Connection &connection, const FolderRecord &folder, std::int64_t cursor);
void insertFile(Connection &connection, const FileRecord &file, std::int64_t cursor);
void updateFolder(Connection &connection, const FolderRecord &folder, std::int64_t cursor);
void updateFile(Connection &connection, const FileRecord &file, std::int64_t cursor);

// Puts the files of these folders that are not yet in the trash there; how many were.
int trashFilesIn(Connection &connection, std::int64_t accountId,
                 const std::vector<std::int64_t> &folderIds, std::int64_t now, std::int64_t cursor);

// The account's storage use becomes the size of its files outside the trash.
void refreshStorageUsed(Connection &connection, std::int64_t accountId);

// The content keys of the account's files, trashed ones included: every content on disk that
// is some file's.
std::vector<QString> contentKeys(Connection &connection, std::int64_t accountId);

} // namespace DriveStore

// The drive's tables: folders, files, thumbnails and the change feed's bookkeeping.
SchemaModule driveSchema();

} // namespace OrvelanNimbal::Service
