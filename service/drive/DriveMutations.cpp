// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveMutations.h"

#include "drive/DriveChange.h"
#include "drive/DriveFailure.h"
#include "drive/DriveLookups.h"
#include "drive/DriveNames.h"
#include "drive/DriveStore.h"

#include <QSet>

#include <algorithm>

namespace OrvelanNimbal::Service::DriveMutations {

namespace {

std::vector<std::int64_t> distinct(std::vector<std::int64_t> ids)
{
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

void requireFreeName(DriveChange &change, std::int64_t parentId, const QString &name, ItemKind kind,
                     std::int64_t id)
{
    if (DriveStore::nameTaken(change.connection(), change.accountId(), parentId, name, kind, id))
        throw DriveFailure::nameTaken(name);
}

// A folder may not end up inside itself: the tree would lose a branch in a loop.
void requireOutsideOf(DriveChange &change, std::int64_t folderId, std::int64_t destinationId)
{
    const auto inside = DriveStore::subtree(change.connection(), change.accountId(), folderId);
    if (std::find(inside.begin(), inside.end(), destinationId) != inside.end())
        throw DriveFailure::invalid(
            QStringLiteral("un dossier ne peut aller ni dans lui-même ni dans ses sous-dossiers"));
}

// Moving several items at once: none may meet a namesake in the target, nor another of them.
class Arrivals {
public:
    Arrivals(DriveChange &change, std::int64_t targetId)
        : m_change(change)
        , m_targetId(targetId)
    {}

    // False when the item is already in the target and has nothing to do.
    bool admit(std::int64_t parentId, const QString &name, ItemKind kind, std::int64_t id)
    {
        if (parentId == m_targetId)
            return false;
        requireFreeName(m_change, m_targetId, name, kind, id);
        if (m_names.contains(name))
            throw DriveFailure::nameTaken(name);
        m_names.insert(name);
        return true;
    }

private:
    DriveChange &m_change;
    std::int64_t m_targetId;
    QSet<QString> m_names;
};

void trashFolder(DriveChange &change, const FolderRecord &top)
{
    Connection &connection = change.connection();
    const auto ids = DriveStore::subtree(connection, change.accountId(), top.id);
    for (const std::int64_t id : ids) {
        auto folder = DriveStore::folder(connection, change.accountId(), id);
        if (!folder || folder->trashed)
            continue;
        folder->trashed = true;
        folder->dateModified = change.now();
        DriveStore::updateFolder(connection, *folder, change.cursor());
    }
    DriveStore::trashFilesIn(connection, change.accountId(), ids, change.now(), change.cursor());
}

} // namespace

std::int64_t createFolder(DriveChange &change, const QString &name, std::int64_t parentId)
{
    DriveNames::check(name);
    DriveLookups::requireContainer(change.connection(), change.accountId(), parentId);
    requireFreeName(change, parentId, name, ItemKind::folder, 0);
    FolderRecord folder;
    folder.id = DriveStore::allocateId(change.connection());
    folder.accountId = change.accountId();
    folder.parentId = parentId;
    folder.name = name;
    folder.dateCreation = change.now();
    folder.dateModified = change.now();
    DriveStore::insertFolder(change.connection(), folder, change.cursor());
    return folder.id;
}

void renameFile(DriveChange &change, std::int64_t fileId, const QString &name)
{
    FileRecord file = DriveLookups::liveFile(change.connection(), change.accountId(), fileId);
    DriveNames::check(name);
    if (file.name == name)
        return;
    requireFreeName(change, file.folderId, name, ItemKind::file, file.id);
    file.name = name;
    file.dateModified = change.now();
    DriveStore::updateFile(change.connection(), file, change.cursor());
}

void updateFolder(DriveChange &change, std::int64_t folderId, const std::optional<QString> &name,
                  std::optional<std::int64_t> parentId)
{
    FolderRecord folder =
        DriveLookups::liveFolder(change.connection(), change.accountId(), folderId);
    if (name)
        DriveNames::check(*name);
    if (parentId) {
        DriveLookups::requireContainer(change.connection(), change.accountId(), *parentId);
        requireOutsideOf(change, folder.id, *parentId);
    }
    const QString newName = name.value_or(folder.name);
    const std::int64_t newParent = parentId.value_or(folder.parentId);
    if (newName == folder.name && newParent == folder.parentId)
        return;
    requireFreeName(change, newParent, newName, ItemKind::folder, folder.id);
    folder.name = newName;
    folder.parentId = newParent;
    folder.dateModified = change.now();
    DriveStore::updateFolder(change.connection(), folder, change.cursor());
}

void move(DriveChange &change, const std::vector<std::int64_t> &fileIds,
          const std::vector<std::int64_t> &folderIds, std::int64_t targetId)
{
    Connection &connection = change.connection();
    DriveLookups::requireContainer(connection, change.accountId(), targetId);
    Arrivals arrivals(change, targetId);
    std::vector<FolderRecord> folders;
    for (const std::int64_t id : distinct(folderIds)) {
        FolderRecord folder = DriveLookups::liveFolder(connection, change.accountId(), id);
        requireOutsideOf(change, folder.id, targetId);
        if (arrivals.admit(folder.parentId, folder.name, ItemKind::folder, folder.id))
            folders.push_back(std::move(folder));
    }
    std::vector<FileRecord> files;
    for (const std::int64_t id : distinct(fileIds)) {
        FileRecord file = DriveLookups::liveFile(connection, change.accountId(), id);
        if (arrivals.admit(file.folderId, file.name, ItemKind::file, file.id))
            files.push_back(std::move(file));
    }
    for (FolderRecord &folder : folders) {
        folder.parentId = targetId;
        folder.dateModified = change.now();
        DriveStore::updateFolder(connection, folder, change.cursor());
    }
    for (FileRecord &file : files) {
        file.folderId = targetId;
        file.dateModified = change.now();
        DriveStore::updateFile(connection, file, change.cursor());
    }
}

void trash(DriveChange &change, const std::vector<std::int64_t> &fileIds,
           const std::vector<std::int64_t> &folderIds)
{
    Connection &connection = change.connection();
    for (const std::int64_t id : distinct(fileIds)) {
        FileRecord file = DriveLookups::anyFile(connection, change.accountId(), id);
        if (file.trashed)
            continue;
        file.trashed = true;
        file.dateModified = change.now();
        DriveStore::updateFile(connection, file, change.cursor());
    }
    for (const std::int64_t id : distinct(folderIds)) {
        const FolderRecord folder = DriveLookups::anyFolder(connection, change.accountId(), id);
        if (!folder.trashed)
            trashFolder(change, folder);
    }
}

FileRecord addFile(DriveChange &change, FileRecord file)
{
    DriveNames::check(file.name);
    DriveLookups::requireContainer(change.connection(), change.accountId(), file.folderId);
    if (!file.trashed)
        requireFreeName(change, file.folderId, file.name, ItemKind::file, 0);
    file.accountId = change.accountId();
    if (file.id == 0)
        file.id = DriveStore::allocateId(change.connection());
    for (std::int64_t *date : {&file.dateCreation, &file.dateModified, &file.dateUpload}) {
        if (*date == 0)
            *date = change.now();
    }
    DriveStore::insertFile(change.connection(), file, change.cursor());
    return file;
}

} // namespace OrvelanNimbal::Service::DriveMutations
