// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/LocalObservations.h"

#include <QSet>

#include <algorithm>

namespace OrvelanNimbal::FileProvider {

namespace {

bool sameKind(const ItemKey &key, const LocalEntry &entry)
{
    return key.isFolder() ? entry.type == LocalEntry::Type::folder
                          : entry.type == LocalEntry::Type::file;
}

// The item's inode found elsewhere is the item only if nothing but its place changed.
bool isTheSameItem(const ItemRecord &row, const LocalEntry &entry)
{
    return sameKind(row.key, entry)
           && (row.key.isFolder()
               || (entry.size == row.base.size && entry.mtimeNs == row.base.mtimeNs));
}

} // namespace

LocalObservations observe(const ItemTable &rows, const LocalScan &scan)
{
    LocalObservations seen;
    std::vector<const ItemRecord *> unresolved;
    QSet<QString> parkedFolders; // what they hold is out of sight until they are put back
    // First by inode: where each item is, whatever stands at its old path.
    for (const ItemRecord &row : rows) {
        if (!row.base.isOnDisk())
            continue;
        if (scan.isUnseen(row.base.path) || scan.parkedByInode.contains(row.base.inode)) {
            seen.items.insert(row.key, {Observation::State::unseen, row.base.path, {}});
            if (row.key.isFolder() && scan.parkedByInode.contains(row.base.inode))
                parkedFolders.insert(row.base.path);
            continue;
        }
        const auto byInode = scan.pathsByInode.constFind(row.base.inode);
        if (row.base.inode != 0 && byInode != scan.pathsByInode.cend()
            && !seen.claims.contains(*byInode)) {
            const LocalEntry &entry = scan.entries[*byInode];
            if (*byInode == row.base.path ? sameKind(row.key, entry)
                                          : isTheSameItem(row, entry)) {
                seen.items.insert(row.key, {Observation::State::present, *byInode, entry});
                seen.claims.insert(*byInode, row.key);
                continue;
            }
        }
        unresolved.push_back(&row);
    }
    // Then by path, for what its inode did not find: a file saved by replacement.
    for (const ItemRecord *row : unresolved) {
        const QString &path = row->base.path;
        const auto entry = scan.entries.constFind(path);
        if (entry != scan.entries.cend() && sameKind(row->key, *entry)
            && !seen.claims.contains(path)) {
            seen.items.insert(row->key, {Observation::State::present, path, *entry});
            seen.claims.insert(path, row->key);
        } else if (scan.others.contains(path)) {
            seen.items.insert(row->key, {Observation::State::replaced, path, {}});
        } else if (isBelowAny(path, parkedFolders)) {
            seen.items.insert(row->key, {Observation::State::unseen, path, {}});
        } else {
            seen.items.insert(row->key, {Observation::State::absent, path, {}});
        }
    }
    for (auto entry = scan.entries.cbegin(); entry != scan.entries.cend(); ++entry) {
        if (!seen.claims.contains(entry.key()))
            seen.unclaimed.push_back(entry.key());
    }
    std::sort(seen.unclaimed.begin(), seen.unclaimed.end(), [](const QString &a, const QString &b) {
        return std::pair(a.count(u'/'), a) < std::pair(b.count(u'/'), b);
    });
    return seen;
}

bool matchesBase(const BaseState &base, const LocalEntry &entry)
{
    return entry.size == base.size && entry.mtimeNs == base.mtimeNs && entry.inode == base.inode;
}

} // namespace OrvelanNimbal::FileProvider
