// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ItemStatus.h"

#include "config/PlatformWords.h"
#include "disk/LocalScan.h"
#include "disk/SafeNames.h"
#include "engine/Journal.h"
#include "engine/Reconciler.h"
#include "errors/FileError.h"
#include "sync/SyncNaming.h"

#include <unistd.h>

#include <vector>

namespace OrvelanNimbal::FileProvider {

namespace {

using State = ItemStatus::State;
using Reason = ItemStatus::Reason;

ItemStatus worst(const ItemStatus &a, const ItemStatus &b)
{
    return int(b.state) > int(a.state) ? b : a;
}

bool isConflictCopy(const QString &path)
{
    const QString name = fileName(path);
    return SyncNaming::conflictCopyOrigin(name, PlatformWords::conflictSystem) != name;
}

// Why the reconciler left a row out, in the bus's words.
Reason skippedReason(const QString &skipped)
{
    if (skipped == skippedArchived)
        return Reason::archived;
    if (skipped == skippedLink)
        return Reason::specialFile;
    if (skipped == skippedParent)
        return Reason::excludedName;
    return Reason::refused; // a name the disk does not take, as SafeNames describes it
}

class StatusReader {
public:
    explicit StatusReader(const StatusSources &sources)
        : m_journal(sources.journal)
        , m_folder(sources.folder)
        , m_sending(sources.sending)
    {
    }

    ItemStatus of(const QString &path)
    {
        for (const QString &name : path.split(u'/', Qt::SkipEmptyParts)) {
            if (SafeNames::check(name))
                return {State::excluded, Reason::excludedName};
        }
        LocalEntry entry;
        try {
            entry = m_folder.inspect(path);
        } catch (const FileError &) {
            return {State::excluded, Reason::unreadable};
        }
        switch (entry.type) {
        case LocalEntry::Type::missing:
            return ofMissing(path);
        case LocalEntry::Type::folder:
            return ofFolder(path);
        case LocalEntry::Type::other:
            return {State::excluded, Reason::specialFile};
        case LocalEntry::Type::file:
            break;
        }
        return ofEntry(path, entry);
    }

private:
    // A failure recorded for the item: an unreadable file or a refusal leaves it out until it
    // changes; anything else only delays it.
    static std::optional<ItemStatus> fromFailure(const std::optional<Failure> &failure,
                                                 State waiting)
    {
        if (!failure)
            return std::nullopt;
        switch (failure->kind) {
        case FailureKind::local:
            return ItemStatus{State::excluded, Reason::unreadable};
        case FailureKind::refused:
            return ItemStatus{State::excluded, Reason::refused};
        default:
            return ItemStatus{waiting, Reason::none};
        }
    }

    ItemStatus toSend(const QString &path, const LocalEntry &entry) const
    {
        if (m_sending.contains(path))
            return {State::uploading, Reason::none};
        if (entry.type == LocalEntry::Type::file && m_folder.isOpenForWriting(path))
            return {State::pendingUpload, Reason::beingWritten};
        return {State::pendingUpload, Reason::none};
    }

    // A file or a folder that is on disk; a folder only for itself, not for what it holds.
    ItemStatus ofEntry(const QString &path, const LocalEntry &entry)
    {
        const bool isFile = entry.type == LocalEntry::Type::file;
        if (isFile && isConflictCopy(path))
            return {State::conflict, Reason::none};
        if (isFile && ::access(m_folder.absolute(path).toLocal8Bit().constData(), R_OK) != 0)
            return {State::excluded, Reason::unreadable};
        const std::optional<ItemRecord> row = m_journal.itemAt(path);
        if (!row) {
            if (auto failed = fromFailure(m_journal.failure(u"p:"_qs + path),
                                          State::pendingUpload))
                return *failed;
            return toSend(path, entry);
        }
        if (!row->skipped.isEmpty())
            return {State::excluded, skippedReason(row->skipped)};
        const bool changed = isFile && !matchesBase(row->base, entry);
        if (auto failed = fromFailure(m_journal.failure(row->key.text()),
                                      changed ? State::pendingUpload : State::pendingDownload))
            return *failed;
        if (changed)
            return toSend(path, entry);
        if (isFile && row->remote.present && remoteContentChanged(row->remote, row->base))
            return {State::pendingDownload, Reason::none};
        return {State::synced, Reason::none};
    }

    ItemStatus ofRemoteOnly(const ItemRecord &row)
    {
        if (!row.key.isFolder() && !isSynchronizable(row.remote.storageClass))
            return {State::excluded, Reason::archived};
        if (!row.skipped.isEmpty())
            return {State::excluded, skippedReason(row.skipped)};
        return {State::pendingDownload, Reason::none};
    }

    ItemStatus ofMissing(const QString &path)
    {
        // Placed once and gone from disk since: a removal to send.
        if (m_journal.itemAt(path))
            return {State::pendingUpload, Reason::none};
        // On the service only: found under its folder by name.
        qint64 parent = 0;
        if (!parentPath(path).isEmpty()) {
            const std::optional<ItemRecord> folder = m_journal.itemAt(parentPath(path));
            if (!folder || !folder->key.isFolder())
                return {State::unknown, Reason::none};
            parent = folder->key.id;
        }
        for (const ItemRecord &row : m_journal.itemsUnder(parent)) {
            if (row.remote.present && row.remote.name == fileName(path))
                return ofRemoteOnly(row);
        }
        return {State::unknown, Reason::none};
    }

    ItemStatus ofFolder(const QString &path)
    {
        ItemStatus status = path.isEmpty() ? ItemStatus{State::synced, Reason::none}
                                           : ofEntry(path, m_folder.inspect(path));
        const LocalScan scan = LocalScan::of(m_folder.absolute(path));
        if (!scan.unreadable.isEmpty())
            status = worst(status, {State::excluded, Reason::unreadable});
        if (scan.refusedNames > 0)
            status = worst(status, {State::excluded, Reason::excludedName});
        const QString prefix = path.isEmpty() ? QString() : path + u'/';
        for (auto entry = scan.entries.cbegin(); entry != scan.entries.cend(); ++entry)
            status = worst(status, ofEntry(prefix + entry.key(), entry.value()));
        // What the service has here that the disk does not show yet, or never will.
        qint64 folderID = 0;
        if (!path.isEmpty()) {
            const std::optional<ItemRecord> row = m_journal.itemAt(path);
            if (!row || !row->key.isFolder())
                return status;
            folderID = row->key.id;
        }
        remoteOnlyBelow(folderID, scan, status);
        return status;
    }

    // Walks the service's rows below `folderID`, folder by folder, paths taken below the
    // folder asked about. Each folder once, whatever parents the service's rows claim.
    void remoteOnlyBelow(qint64 folderID, const LocalScan &scan, ItemStatus &status)
    {
        std::vector<std::pair<qint64, QString>> folders{{folderID, QString()}};
        QSet<qint64> visited;
        while (!folders.empty()) {
            const auto [id, relative] = std::move(folders.back());
            folders.pop_back();
            if (visited.contains(id))
                continue;
            visited.insert(id);
            for (const ItemRecord &row : m_journal.itemsUnder(id)) {
                if (!row.remote.present)
                    continue;
                const QString path =
                    relative.isEmpty() ? row.remote.name : relative + u'/' + row.remote.name;
                if (!scan.entries.contains(path) && !row.base.isOnDisk())
                    status = worst(status, ofRemoteOnly(row));
                if (row.key.isFolder())
                    folders.emplace_back(row.key.id, path);
            }
        }
    }

    Journal &m_journal;
    const LocalFolder &m_folder;
    const QSet<QString> &m_sending;
};

} // namespace

QString ItemStatus::word(State state)
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

QString ItemStatus::word(Reason reason)
{
    switch (reason) {
    case Reason::beingWritten:
        return QStringLiteral("being-written");
    case Reason::archived:
        return QStringLiteral("archived");
    case Reason::excludedName:
        return QStringLiteral("excluded-name");
    case Reason::unreadable:
        return QStringLiteral("unreadable");
    case Reason::refused:
        return QStringLiteral("refused");
    case Reason::specialFile:
        return QStringLiteral("special-file");
    case Reason::none:
        break;
    }
    return {};
}

ItemStatus statusOf(const StatusSources &sources, const QString &path)
{
    return StatusReader(sources).of(path);
}

} // namespace OrvelanNimbal::FileProvider
