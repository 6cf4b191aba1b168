// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/RemainingWork.h"

#include "disk/LocalScan.h"
#include "engine/LocalObservations.h"

#include <QSet>

namespace OrvelanNimbal::FileProvider {

RemainingWork RemainingWork::of(const ItemTable &rows, const LocalFolder &folder)
{
    QHash<QString, ItemKey> byPath;
    QHash<quint64, ItemKey> byInode;
    for (const ItemRecord &row : rows) {
        if (row.base.isOnDisk()) {
            byPath.insert(row.base.path, row.key);
            if (row.base.inode != 0)
                byInode.insert(row.base.inode, row.key);
        }
    }
    RemainingWork left;
    const LocalScan scan = LocalScan::of(folder.root());
    QSet<ItemKey> seen;
    for (auto entry = scan.entries.cbegin(); entry != scan.entries.cend(); ++entry) {
        const bool isFile = entry->type == LocalEntry::Type::file;
        const ItemRecord *row = nullptr;
        if (const auto key = byPath.constFind(entry.key()); key != byPath.cend())
            row = &*rows.constFind(*key);
        if (!row) {
            // Either new, or an item of ours under another name: one move then.
            const auto moved = byInode.constFind(entry->inode);
            if (moved != byInode.cend()) {
                const ItemRecord &candidate = *rows.constFind(*moved);
                if (!scan.entries.contains(candidate.base.path))
                    row = &candidate;
            }
        }
        if (row) {
            seen.insert(row->key);
            const bool moved = row->base.path != entry.key();
            const bool edited = isFile && !matchesBase(row->base, *entry);
            if (moved || edited)
                ++left.itemsToSend;
            if (edited)
                left.bytesToSend += entry->size;
            continue;
        }
        ++left.itemsToSend;
        if (isFile)
            left.bytesToSend += entry->size;
    }
    for (const ItemRecord &row : rows) {
        const bool onDisk = row.base.isOnDisk();
        if (onDisk && !seen.contains(row.key) && !scan.isUnseen(row.base.path)) {
            ++left.itemsToSend; // removed here: trashed on the service
            continue;
        }
        if (!row.skipped.isEmpty()
            || (!row.key.isFolder() && !isSynchronizable(row.remote.storageClass)))
            continue;
        if (!row.remote.present) {
            if (onDisk)
                ++left.itemsToReceive; // trashed there: removed here
        } else if (row.key.isFolder() ? !onDisk
                                      : !onDisk || remoteContentChanged(row.remote, row.base)) {
            ++left.itemsToReceive;
            if (!row.key.isFolder())
                left.bytesToReceive += row.remote.size;
        }
    }
    return left;
}

} // namespace OrvelanNimbal::FileProvider
