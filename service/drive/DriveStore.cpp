// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveStore.h"

#include "foundation/Database.h"

#include <string>

namespace OrvelanNimbal::Service::DriveStore {

namespace {

const std::string folderColumns = "SELECT id, account_id, id_parent, folder_name, date_creation,"
                                  " date_modified, to_delete FROM drive_folders ";

const std::string fileColumns =
    "SELECT id, account_id, id_folder, file_name, file_size, content_key, content_hash,"
    " content_type, storage_class, thumbnail_path, locked, date_creation, date_modified,"
    " date_upload, to_delete, reinforced FROM drive_files ";

FolderRecord folderFrom(const Statement &row)
{
    FolderRecord folder;
    folder.id = row.int64(0);
    folder.accountId = row.int64(1);
    folder.parentId = row.int64(2);
    folder.name = row.text(3);
    folder.dateCreation = row.int64(4);
    folder.dateModified = row.int64(5);
    folder.trashed = row.int64(6) != 0;
    return folder;
}

FileRecord fileFrom(const Statement &row)
{
    FileRecord file;
    file.id = row.int64(0);
    file.accountId = row.int64(1);
    file.folderId = row.int64(2);
    file.name = row.text(3);
    file.size = row.int64(4);
    file.contentKey = row.text(5);
    file.contentHash = row.text(6);
    file.contentType = row.text(7);
    file.storageClass = row.text(8);
    if (!row.isNull(9))
        file.thumbnailPath = row.text(9);
    file.locked = row.int64(10) != 0;
    file.dateCreation = row.int64(11);
    file.dateModified = row.int64(12);
    file.dateUpload = row.int64(13);
    file.trashed = row.int64(14) != 0;
    file.reinforced = row.int64(15) != 0;
    return file;
}

} // namespace

std::int64_t allocateId(Connection &connection)
{
    Statement row = connection.query("UPDATE drive_id_sequence SET next_id = next_id + 1"
                                     " WHERE singleton = 1 RETURNING next_id - 1");
    if (!row.step())
        throw DatabaseError("la séquence des identifiants du Nimbal manque");
    return row.int64(0);
}

std::optional<FolderRecord> folder(Connection &connection, std::int64_t accountId, std::int64_t id)
{
    Statement row =
        connection.query(folderColumns + "WHERE account_id = ? AND id = ?", accountId, id);
    if (!row.step())
        return std::nullopt;
    return folderFrom(row);
}

std::optional<FileRecord> file(Connection &connection, std::int64_t accountId, std::int64_t id)
{
    Statement row =
        connection.query(fileColumns + "WHERE account_id = ? AND id = ?", accountId, id);
    if (!row.step())
        return std::nullopt;
    return fileFrom(row);
}

std::vector<FolderRecord> foldersIn(Connection &connection, std::int64_t accountId,
                                    std::int64_t parentId)
{
    Statement rows = connection.query(folderColumns
                                          + "WHERE account_id = ? AND id_parent = ?"
                                            " AND to_delete = 0 ORDER BY folder_name, id",
                                      accountId, parentId);
    return readAll(rows, folderFrom);
}

std::vector<FileRecord> filesIn(Connection &connection, std::int64_t accountId,
                                std::int64_t folderId, std::int64_t limit)
{
    Statement rows = connection.query(fileColumns
                                          + "WHERE account_id = ? AND id_folder = ?"
                                            " AND to_delete = 0 ORDER BY file_name, id LIMIT ?",
                                      accountId, folderId, limit);
    return readAll(rows, fileFrom);
}

std::vector<FolderRecord> foldersChangedAfter(Connection &connection, std::int64_t accountId,
                                              std::int64_t cursor)
{
    Statement rows = connection.query(folderColumns
                                          + "WHERE account_id = ? AND changed_at > ?"
                                            " ORDER BY changed_at, id",
                                      accountId, cursor);
    return readAll(rows, folderFrom);
}

std::vector<FileRecord> filesChangedAfter(Connection &connection, std::int64_t accountId,
                                          std::int64_t cursor)
{
    Statement rows = connection.query(fileColumns
                                          + "WHERE account_id = ? AND changed_at > ?"
                                            " ORDER BY changed_at, id",
                                      accountId, cursor);
    return readAll(rows, fileFrom);
}

bool nameTaken(Connection &connection, std::int64_t accountId, std::int64_t parentId,
               const QString &name, ItemKind kind, std::int64_t id)
{
    const std::int64_t exceptFolder = kind == ItemKind::folder ? id : 0;
    const std::int64_t exceptFile = kind == ItemKind::file ? id : 0;
    Statement row = connection.query(
        "SELECT EXISTS (SELECT 1 FROM drive_folders WHERE account_id = ?1 AND id_parent = ?2"
        " AND folder_name = ?3 AND to_delete = 0 AND id != ?4)"
        " OR EXISTS (SELECT 1 FROM drive_files WHERE account_id = ?1 AND id_folder = ?2"
        " AND file_name = ?3 AND to_delete = 0 AND id != ?5)",
        accountId, parentId, name, exceptFolder, exceptFile);
    return row.step() && row.int64(0) != 0;
}

std::vector<std::int64_t> subtree(Connection &connection, std::int64_t accountId,
                                  std::int64_t folderId)
{
    Statement rows = connection.query(
        "WITH RECURSIVE subtree(id) AS (SELECT ?2 UNION SELECT f.id FROM drive_folders f"
        " JOIN subtree s ON f.id_parent = s.id WHERE f.account_id = ?1)"
        " SELECT id FROM subtree",
        accountId, folderId);
    return readAll(rows, [](const Statement &row) { return row.int64(0); });
}

void insertFolder(Connection &connection, const FolderRecord &folder, std::int64_t cursor)
{
    connection.exec("INSERT INTO drive_folders (id, account_id, id_parent, folder_name,"
                    " date_creation, date_modified, to_delete, changed_at)"
                    " VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                    folder.id, folder.accountId, folder.parentId, folder.name, folder.dateCreation,
                    folder.dateModified, folder.trashed, cursor);
}

void insertFile(Connection &connection, const FileRecord &file, std::int64_t cursor)
{
    connection.exec("INSERT INTO drive_files (id, account_id, id_folder, file_name, file_size,"
                    " content_key, content_hash, content_type, storage_class, thumbnail_path,"
                    " locked, date_creation, date_modified, date_upload, to_delete, changed_at,"
                    " reinforced) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                    file.id, file.accountId, file.folderId, file.name, file.size, file.contentKey,
                    file.contentHash, file.contentType, file.storageClass, file.thumbnailPath,
                    file.locked, file.dateCreation, file.dateModified, file.dateUpload,
                    file.trashed, cursor, file.reinforced);
}

void updateFolder(Connection &connection, const FolderRecord &folder, std::int64_t cursor)
{
    connection.exec("UPDATE drive_folders SET id_parent = ?, folder_name = ?, date_modified = ?,"
                    " to_delete = ?, changed_at = ? WHERE account_id = ? AND id = ?",
                    folder.parentId, folder.name, folder.dateModified, folder.trashed, cursor,
                    folder.accountId, folder.id);
}

void updateFile(Connection &connection, const FileRecord &file, std::int64_t cursor)
{
    connection.exec(
        "UPDATE drive_files SET id_folder = ?, file_name = ?, file_size = ?,"
        " content_key = ?, content_hash = ?, content_type = ?, storage_class = ?,"
        " thumbnail_path = ?, locked = ?, date_modified = ?, date_upload = ?,"
        " to_delete = ?, changed_at = ?, reinforced = ? WHERE account_id = ? AND id = ?",
        file.folderId, file.name, file.size, file.contentKey, file.contentHash, file.contentType,
        file.storageClass, file.thumbnailPath, file.locked, file.dateModified, file.dateUpload,
        file.trashed, cursor, file.reinforced, file.accountId, file.id);
}

int trashFilesIn(Connection &connection, std::int64_t accountId,
                 const std::vector<std::int64_t> &folderIds, std::int64_t now, std::int64_t cursor)
{
    int trashed = 0;
    for (const std::int64_t folderId : folderIds)
        trashed += connection.exec("UPDATE drive_files SET to_delete = 1, date_modified = ?,"
                                   " changed_at = ? WHERE account_id = ? AND id_folder = ?"
                                   " AND to_delete = 0",
                                   now, cursor, accountId, folderId);
    return trashed;
}

void refreshStorageUsed(Connection &connection, std::int64_t accountId)
{
    connection.exec("UPDATE accounts SET storage_used_bytes = (SELECT coalesce(sum(file_size), 0)"
                    " FROM drive_files WHERE account_id = ?1 AND to_delete = 0) WHERE id = ?1",
                    accountId);
}

std::vector<QString> contentKeys(Connection &connection, std::int64_t accountId)
{
    Statement rows =
        connection.query("SELECT content_key FROM drive_files WHERE account_id = ?", accountId);
    return readAll(rows, [](const Statement &row) { return row.text(0); });
}

} // namespace OrvelanNimbal::Service::DriveStore
