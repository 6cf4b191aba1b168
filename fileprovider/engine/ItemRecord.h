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
    // "f:12", "d:3": how the log and the item store name it.
    QString text() const;

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

// The last version both sides agreed on: where the item is on disk and under which parent and
// name the service had it then, which content (and its version on the service), and how the
// file looked on disk right after, so that any later change on either side shows as a
// difference from it. Absent (no path) while nothing of the item is on disk.
struct BaseState {
    QString path;        // relative to the domain's folder; empty: not on disk
    qint64 parentID = 0; // the service's parent of the item at that version
    qint64 size = 0;
    QString contentHash;
    qint64 uploaded = 0; // the upload time of that content on the service
    qint64 mtimeNs = 0;  // modification time on disk, in nanoseconds
    quint64 inode = 0;

    bool isOnDisk() const { return !path.isEmpty(); }

    friend bool operator==(const BaseState &, const BaseState &) = default;
};

// One row of the journal: the service's side as last read, the base, and why the item is left
// out of the folder when it is (an archived file, a name refused, a link in its place).
struct ItemRecord {
    ItemKey key;
    RemoteState remote;
    BaseState base;
    QString skipped; // empty when the item is placed (or on its way)

    friend bool operator==(const ItemRecord &, const ItemRecord &) = default;
};

using ItemTable = QHash<ItemKey, ItemRecord>;

// The service's content differs from the base's: another version to fetch. An upload date
// that moved over the same bytes is not one (see versionMoved).
bool remoteContentChanged(const RemoteState &remote, const BaseState &base);
// The same bytes with a newer version on the service (saved again elsewhere): the base takes
// the service's version, so that the next edit sent from here names the right one.
bool remoteVersionMoved(const RemoteState &remote, const BaseState &base);

// The service's records in the journal's terms.
RemoteState remoteState(const DriveFolder &folder);
RemoteState remoteState(const DriveFile &file);

} // namespace OrvelanNimbal::FileProvider
