// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "models/DriveModels.h"
#include "models/StorageClass.h"

#include <QHash>
#include <QString>

namespace OrvelanNimbal::FileProvider {

enum class ItemKind : quint8 { folder = 1, file = 2 };

// A drive item: ids of files and folders come from one sequence on the service, but the kind is
// kept so that a key never depends on that.
struct ItemKey {
    ItemKind kind = ItemKind::file;
    qint64 id = 0;

    static ItemKey file(qint64 id) { return {ItemKind::file, id}; }
    static ItemKey folder(qint64 id) { return {ItemKind::folder, id}; }
    bool isFolder() const { return kind == ItemKind::folder; }

    friend bool operator==(const ItemKey &, const ItemKey &) = default;
};

inline size_t qHash(const ItemKey &key, size_t seed = 0) noexcept
{
    return qHashMulti(seed, quint8(key.kind), key.id);
}

// What the service last said of an item.
struct RemoteState {
    qint64 parentID = 0; // 0: the drive's root
    QString name;
    qint64 size = 0;
    QString contentHash; // empty when the service gave none
    qint64 uploaded = 0; // upload time of the content, seconds since 1970; 0 when unknown
    qint64 modified = 0; // seconds since 1970
    StorageClass storageClass = StorageClass::standard;
    bool present = true; // false once trashed, or missing from a complete listing

    friend bool operator==(const RemoteState &, const RemoteState &) = default;
};

// What is on disk from the last synchronised version: where, which content, and how the file
// looked right after we wrote it, so that any later change by someone else shows.
struct LocalState {
    QString path; // relative to the domain's folder; empty: nothing of ours on disk
    qint64 size = 0;
    QString contentHash; // of the content we placed
    qint64 uploaded = 0; // its upload time on the service
    qint64 mtimeNs = 0;  // modification time after we set it, in nanoseconds
    quint64 inode = 0;

    bool isOnDisk() const { return !path.isEmpty(); }

    friend bool operator==(const LocalState &, const LocalState &) = default;
};

// One row of the journal: the service's side, the disk's side, and why the item is not shown
// when it is not (an archived file, a name we refuse, a clash).
struct ItemRecord {
    ItemKey key;
    RemoteState remote;
    LocalState local;
    QString skipped; // empty when the item is placed (or on its way)

    // Whether the content on disk is the one the service holds.
    bool contentIsCurrent() const
    {
        if (!local.isOnDisk() || local.size != remote.size)
            return false;
        if (!remote.contentHash.isEmpty())
            return local.contentHash == remote.contentHash;
        return local.uploaded == remote.uploaded;
    }

    friend bool operator==(const ItemRecord &, const ItemRecord &) = default;
};

using ItemTable = QHash<ItemKey, ItemRecord>;

// The service's records in the journal's terms.
RemoteState remoteState(const DriveFolder &folder);
RemoteState remoteState(const DriveFile &file);

} // namespace OrvelanNimbal::FileProvider
