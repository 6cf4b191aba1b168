// SPDX-License-Identifier: GPL-3.0-or-later
#include "daemon/SyncStatus.h"

#include "config/PlatformWords.h"
#include "disk/LocalScan.h"
#include "disk/SafeNames.h"
#include "errors/FileError.h"
#include "sync/SyncNaming.h"

#include <QSet>

#include <unistd.h>

namespace OrvelanNimbal::FileProvider {

namespace {

const QString beingWritten = QStringLiteral("being-written");
const QString archived = QStringLiteral("archived");
const QString excludedName = QStringLiteral("excluded-name");
const QString unreadable = QStringLiteral("unreadable");
const QString refused = QStringLiteral("refused");
const QString specialFile = QStringLiteral("special-file");

bool matchesBase(const LocalState &base, const LocalEntry &entry)
{
    return entry.size == base.size && entry.mtimeNs == base.mtimeNs && entry.inode == base.inode;
}

SyncStatus::PathStatus worst(const SyncStatus::PathStatus &a, const SyncStatus::PathStatus &b)
{
    return int(b.state) > int(a.state) ? b : a;
}

bool isConflictCopy(const QString &relative)
{
    const QString name = fileName(relative);
    return SyncNaming::conflictCopyOrigin(name, PlatformWords::conflictSystem) != name;
}

bool isUnder(const QString &path, const QString &folder)
{
    return folder.isEmpty() || path.startsWith(folder + u'/');
}

// Where the service has an item: its folders' names down from the root; empty when a folder on
// the way is unknown.
QString remotePath(const ItemTable &items, const ItemRecord &record)
{
    QString path = record.remote.name;
    qint64 parent = record.remote.parentID;
    for (int depth = 0; parent > 0; ++depth) {
        const auto folder = items.constFind(ItemKey::folder(parent));
        if (folder == items.cend() || depth > 4096)
            return {};
        path = folder->remote.name + u'/' + path;
        parent = folder->remote.parentID;
    }
    return path;
}

} // namespace

SyncStatus::SyncStatus(QString root, ItemTable items, bool uploading)
    : m_folder(std::move(root))
    , m_items(std::move(items))
    , m_uploading(uploading)
{
    for (const ItemRecord &record : std::as_const(m_items)) {
        if (record.local.isOnDisk()) {
            m_byLocalPath.insert(record.local.path, record.key);
            if (record.local.inode != 0)
                m_byInode.insert(record.local.inode, record.key);
        }
        if (record.remote.present) {
            if (const QString path = remotePath(m_items, record); !path.isEmpty())
                m_byRemotePath.insert(path, record.key);
        }
    }
}

QString SyncStatus::word(State state)
{
    switch (state) {
    case State::synced:
        return QStringLiteral("synced");
    case State::pendingDownload:
        return QStringLiteral("pending-download");
    case State::uploading:
        return QStringLiteral("uploading");
    case State::pendingUpload:
        return QStringLiteral("pending-upload");
    case State::conflict:
        return QStringLiteral("conflict");
    case State::excluded:
        return QStringLiteral("excluded");
    case State::unknown:
        break;
    }
    return QStringLiteral("unknown");
}

const ItemRecord *SyncStatus::atLocalPath(const QString &relative) const
{
    const auto key = m_byLocalPath.constFind(relative);
    return key == m_byLocalPath.cend() ? nullptr : &*m_items.constFind(*key);
}

SyncStatus::PathStatus SyncStatus::of(const QString &relative) const
{
    if (!relative.isEmpty()) {
        for (const QString &name : relative.split(u'/')) {
            if (SafeNames::check(name))
                return {State::excluded, excludedName};
        }
    }
    LocalEntry entry;
    try {
        entry = m_folder.inspect(relative);
    } catch (const FileError &) {
        return {State::excluded, unreadable};
    }
    switch (entry.type) {
    case LocalEntry::Type::missing:
        return ofMissing(relative);
    case LocalEntry::Type::folder:
        return ofFolder(relative);
    case LocalEntry::Type::other:
        return {State::excluded, specialFile};
    case LocalEntry::Type::file:
        break;
    }
    return ofEntry(relative, entry);
}

SyncStatus::PathStatus SyncStatus::ofEntry(const QString &relative, const LocalEntry &entry) const
{
    if (entry.type == LocalEntry::Type::file && isConflictCopy(relative))
        return {State::conflict, {}};
    if (::access(m_folder.absolute(relative).toLocal8Bit().constData(), R_OK) != 0)
        return {State::excluded, unreadable};
    const ItemRecord *record = atLocalPath(relative);
    const bool changed =
        !record || (entry.type == LocalEntry::Type::file && !matchesBase(record->local, entry));
    if (changed) {
        if (entry.type == LocalEntry::Type::file && m_folder.isOpenForWriting(relative))
            return {State::pendingUpload, beingWritten};
        return {m_uploading ? State::uploading : State::pendingUpload, {}};
    }
    if (record->key.isFolder() || record->contentIsCurrent())
        return {State::synced, {}};
    return {State::pendingDownload, {}};
}

SyncStatus::PathStatus SyncStatus::ofMissing(const QString &relative) const
{
    const auto key = m_byRemotePath.constFind(relative);
    if (key == m_byRemotePath.cend())
        return {State::unknown, {}};
    const ItemRecord &record = *m_items.constFind(*key);
    if (record.remote.storageClass != StorageClass::standard)
        return {State::excluded, archived};
    if (!record.skipped.isEmpty())
        return {State::excluded, refused};
    return {State::pendingDownload, {}};
}

SyncStatus::PathStatus SyncStatus::ofFolder(const QString &relative) const
{
    PathStatus status = relative.isEmpty() ? PathStatus{State::synced, {}}
                                           : ofEntry(relative, m_folder.inspect(relative));
    const LocalScan scan = LocalScan::of(m_folder.absolute(relative));
    if (!scan.unreadable.isEmpty())
        status = worst(status, {State::excluded, unreadable});
    if (scan.refusedNames > 0)
        status = worst(status, {State::excluded, excludedName});
    for (auto entry = scan.entries.cbegin(); entry != scan.entries.cend(); ++entry) {
        const QString path = relative.isEmpty() ? entry.key() : relative + u'/' + entry.key();
        status = worst(status, ofEntry(path, entry.value()));
    }
    // What the service has here that the disk does not show yet, or never will.
    for (auto item = m_byRemotePath.cbegin(); item != m_byRemotePath.cend(); ++item) {
        if (isUnder(item.key(), relative) && !item.key().isEmpty()
            && !scan.entries.contains(relative.isEmpty() ? item.key()
                                                         : item.key().mid(relative.size() + 1)))
            status = worst(status, ofMissing(item.key()));
    }
    return status;
}

SyncStatus::Remaining SyncStatus::remaining() const
{
    Remaining left;
    const LocalScan scan = LocalScan::of(m_folder.root());
    QSet<ItemKey> seen;
    for (auto entry = scan.entries.cbegin(); entry != scan.entries.cend(); ++entry) {
        const bool isFile = entry->type == LocalEntry::Type::file;
        const ItemRecord *record = atLocalPath(entry.key());
        if (!record) {
            // Either new, or an item of ours under another name: one move then.
            const auto moved = m_byInode.constFind(entry->inode);
            if (moved != m_byInode.cend()) {
                const ItemRecord &candidate = *m_items.constFind(*moved);
                if (!scan.entries.contains(candidate.local.path))
                    record = &candidate;
            }
        }
        if (record) {
            seen.insert(record->key);
            const bool moved = record->local.path != entry.key();
            const bool edited = isFile && !matchesBase(record->local, *entry);
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
    for (const ItemRecord &record : std::as_const(m_items)) {
        const bool onDisk = record.local.isOnDisk();
        if (onDisk && !seen.contains(record.key) && !scan.isUnseen(record.local.path)) {
            ++left.itemsToSend; // removed here: trashed on the service
            continue;
        }
        if (!record.skipped.isEmpty() || record.remote.storageClass != StorageClass::standard)
            continue;
        if (!record.remote.present) {
            if (onDisk)
                ++left.itemsToReceive; // trashed there: removed here
        } else if (record.key.isFolder() ? !onDisk : !record.contentIsCurrent()) {
            ++left.itemsToReceive;
            if (!record.key.isFolder())
                left.bytesToReceive += record.remote.size;
        }
    }
    return left;
}

} // namespace OrvelanNimbal::FileProvider
