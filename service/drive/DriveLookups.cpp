// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveLookups.h"

#include "drive/DriveFailure.h"
#include "drive/DriveStore.h"

namespace OrvelanNimbal::Service::DriveLookups {

namespace {

DriveFailure folderNotFound(std::int64_t id)
{
    return DriveFailure::notFound(QStringLiteral("aucun dossier %1 dans ce Nimbal").arg(id));
}

DriveFailure fileNotFound(std::int64_t id)
{
    return DriveFailure::notFound(QStringLiteral("aucun fichier %1 dans ce Nimbal").arg(id));
}

} // namespace

FolderRecord liveFolder(Connection &connection, std::int64_t accountId, std::int64_t id)
{
    const auto folder = DriveStore::folder(connection, accountId, id);
    if (!folder || folder->trashed)
        throw folderNotFound(id);
    return *folder;
}

void requireContainer(Connection &connection, std::int64_t accountId, std::int64_t id)
{
    if (id != driveRoot)
        liveFolder(connection, accountId, id);
}

FileRecord liveFile(Connection &connection, std::int64_t accountId, std::int64_t id)
{
    const auto file = DriveStore::file(connection, accountId, id);
    if (!file || file->trashed)
        throw fileNotFound(id);
    return *file;
}

FileRecord anyFile(Connection &connection, std::int64_t accountId, std::int64_t id)
{
    const auto file = DriveStore::file(connection, accountId, id);
    if (!file)
        throw fileNotFound(id);
    return *file;
}

FolderRecord anyFolder(Connection &connection, std::int64_t accountId, std::int64_t id)
{
    const auto folder = DriveStore::folder(connection, accountId, id);
    if (!folder)
        throw folderNotFound(id);
    return *folder;
}

} // namespace OrvelanNimbal::Service::DriveLookups
