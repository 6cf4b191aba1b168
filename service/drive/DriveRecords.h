// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace OrvelanNimbal::Service {

// The top of a drive, as a parent id in rows and on the wire.
inline constexpr std::int64_t driveRoot = 0;

// The storage class of content that can be downloaded; every other word means archived.
inline const QString standardStorageClass = QStringLiteral("standard");

struct FolderRecord {
    std::int64_t id = 0;
    std::int64_t accountId = 0;
    std::int64_t parentId = driveRoot;
    QString name;
    std::int64_t dateCreation = 0;
    std::int64_t dateModified = 0;
    bool trashed = false;
};

struct FileRecord {
    std::int64_t id = 0;
    std::int64_t accountId = 0;
    std::int64_t folderId = driveRoot;
    QString name;
    std::int64_t size = 0;
    QString contentKey;
    QString contentHash;
    QString contentType = QStringLiteral("application/octet-stream");
    QString storageClass = standardStorageClass;
    std::optional<QString> thumbnailPath;
    bool locked = false;     // open in the online editor: its content may not change now
    bool reinforced = false; // under reinforced protection: its content never changes
    std::int64_t dateCreation = 0;
    std::int64_t dateModified = 0;
    std::int64_t dateUpload = 0;
    bool trashed = false;

    bool isArchived() const { return storageClass != standardStorageClass; }
};

// What kind of item an id names, where both kinds are handled together.
enum class ItemKind { folder, file };

} // namespace OrvelanNimbal::Service
