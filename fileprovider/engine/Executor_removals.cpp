// SPDX-License-Identifier: GPL-3.0-or-later
// The plan's removals: from the disk what the service trashed, from the service what was
// deleted here, each once it is known to be still as decided.
#include "Logging.h"
#include "engine/CrashPoints.h"
#include "engine/Executor.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"

namespace OrvelanNimbal::FileProvider {

void Executor::removeHere(const Action &action)
{
    const ItemKey key = action.key;
    if (!m_removingHere.remove(key))
        return; // done already, to free a place
    const auto found = m_rows.constFind(key);
    if (found == m_rows.cend())
        return;
    ItemRecord record = *found;
    const LocalFolder &folder = m_context.folder();
    const QString path = whereIs(key).value_or(action.path);
    bool removed = true;
    const LocalEntry entry = folder.inspect(path);
    if (!entry.exists()) {
        removed = true;
    } else if (key.isFolder()) {
        removed = entry.type == LocalEntry::Type::folder && folder.removeEmptyFolder(path);
    } else if (entry.type == LocalEntry::Type::file && entry.size == record.base.size
               && entry.mtimeNs == record.base.mtimeNs && entry.inode == record.base.inode) {
        folder.removeFile(path);
    } else {
        removed = false;
    }
    m_context.diskChanged();
    NIMBAL_CRASH_POINT("removal.done");
    if (!removed)
        qCInfo(logExtension).noquote()
            << QStringLiteral("%1 gardé sur le disque : il contient un travail local pas encore "
                              "envoyé.")
                   .arg(key.text());
    // Either way the row no longer places anything: what stays is new work, sent as such.
    leftDisk(key);
    if (!record.remote.present) {
        m_rows.remove(key);
        m_context.forget(key);
    } else {
        record.base = {};
        this->record(record);
    }
    m_context.succeeded(key.text());
}

QCoro::Task<std::vector<Action>> Executor::stillAsDecided(std::vector<Action> trashes)
{
    QSet<ItemKey> wanted;
    for (const Action &action : trashes)
        wanted.insert(action.key);
    // What the service changed since the feed was read, told apart from what this pass did:
    // the rows say what it did.
    QSet<ItemKey> news;
    const std::optional<qint64> cursor = m_context.journal().cursor();
    if (!cursor)
        co_return co_await stillThereOneByOne(std::move(trashes));
    std::optional<DriveChanges> changes;
    try {
        changes = co_await m_context.drive().changes(*cursor, m_cancel);
    } catch (const DriveError &error) {
        if (error.kind() == DriveError::Kind::notAuthenticated)
            throw;
    }
    if (!changes)
        co_return std::vector<Action>(); // tried again at the next pass
    QHash<ItemKey, qint64> parents;
    const auto note = [&](const ItemKey &key, const RemoteState &state) {
        parents.insert(key, state.parentID);
        const auto known = m_rows.constFind(key);
        if (known == m_rows.cend() || !(known->remote == state))
            news.insert(key);
    };
    for (const DriveFolder &folder : changes->folders)
        note(ItemKey::folder(folder.id), remoteState(folder));
    for (const DriveFile &file : changes->files)
        note(ItemKey::file(file.id), remoteState(file));
    if (news.isEmpty())
        co_return trashes;
    // Anything new in a folder to trash, or the item itself changed: not this pass.
    QSet<ItemKey> touched;
    for (const ItemKey &key : std::as_const(news)) {
        ItemKey up = key;
        for (int depth = 0; depth < 4096; ++depth) {
            if (wanted.contains(up))
                touched.insert(up);
            qint64 parent = parents.value(up, -1);
            if (parent < 0) {
                const auto known = m_rows.constFind(up);
                parent = known != m_rows.cend() ? known->remote.parentID : 0;
            }
            if (parent <= 0)
                break;
            up = ItemKey::folder(parent);
        }
    }
    std::erase_if(trashes, [&](const Action &action) { return touched.contains(action.key); });
    if (!touched.isEmpty())
        m_outcome.again = true;
    co_return trashes;
}

QCoro::Task<std::vector<Action>> Executor::stillThereOneByOne(std::vector<Action> trashes)
{
    // Without a cursor to ask what changed, each file's version is read; a folder's cannot be.
    std::vector<Action> kept;
    for (Action &action : trashes) {
        const ItemRecord record = m_rows.value(action.key);
        if (action.key.isFolder()) {
            kept.push_back(std::move(action));
            continue;
        }
        DriveFile file;
        file.id = action.key.id;
        file.storageClass = record.remote.storageClass;
        std::optional<DriveDownload> grant;
        try {
            grant = co_await m_context.drive().contentURL(file, m_cancel);
        } catch (const DriveError &error) {
            if (error.kind() == DriveError::Kind::notAuthenticated)
                throw;
            if (error.kind() == DriveError::Kind::notFound)
                kept.push_back(std::move(action)); // gone there already: the row goes
            else
                m_outcome.again = true;
            continue;
        }
        const bool asDecided = grant->contentHash.value_or(QString()) == record.remote.contentHash
                               && grant->uploadTimestamp.value_or(0) == record.remote.uploaded;
        if (asDecided)
            kept.push_back(std::move(action));
        else
            m_outcome.again = true;
    }
    co_return kept;
}

QCoro::Task<> Executor::trashAll(std::vector<Action> trashes)
{
    std::erase_if(trashes, [&](const Action &action) {
        return !m_rows.contains(action.key) || isWaiting(action);
    });
    if (trashes.empty())
        co_return;
    trashes = co_await stillAsDecided(std::move(trashes));
    if (trashes.empty())
        co_return;
    // A folder goes with everything beneath it: its items are not sent one by one.
    QSet<qint64> folders;
    for (const Action &action : trashes) {
        if (action.key.isFolder())
            folders.insert(action.key.id);
    }
    const auto insideAnother = [&](const ItemKey &key) {
        qint64 parent = m_rows.value(key).base.parentID;
        for (int depth = 0; parent > 0 && depth < 4096; ++depth) {
            if (folders.contains(parent))
                return true;
            parent = m_rows.value(ItemKey::folder(parent)).base.parentID;
        }
        return false;
    };
    std::vector<qint64> fileIDs;
    std::vector<qint64> folderIDs;
    for (const Action &action : trashes) {
        if (!insideAnother(action.key))
            (action.key.isFolder() ? folderIDs : fileIDs).push_back(action.key.id);
    }
    m_cancel.throwIfCancelled();
    QSet<ItemKey> refused;
    std::optional<DriveError> refusal;
    try {
        co_await m_context.drive().trash(fileIDs, folderIDs, m_cancel);
    } catch (const DriveError &error) {
        if (error.kind() == DriveError::Kind::notAuthenticated)
            throw;
        refusal = error;
    }
    if (refusal) {
        // One of them was refused (gone there meanwhile, above all) and the service trashed
        // none: each goes on its own, and fails on its own.
        for (const Action &action : trashes) {
            if (insideAnother(action.key))
                continue;
            std::vector<qint64> file;
            std::vector<qint64> folder;
            (action.key.isFolder() ? folder : file).push_back(action.key.id);
            std::optional<DriveError> failure;
            try {
                co_await m_context.drive().trash(file, folder, m_cancel);
            } catch (const DriveError &error) {
                if (error.kind() == DriveError::Kind::notAuthenticated)
                    throw;
                failure = error;
            }
            if (failure && failure->kind() != DriveError::Kind::notFound) {
                failed(action, *failure);
                refused.insert(action.key);
            }
        }
    }
    // What was refused stays, and so does everything beneath a refused folder.
    const auto keptBack = [&](const ItemKey &key) {
        if (refused.contains(key))
            return true;
        qint64 parent = m_rows.value(key).base.parentID;
        for (int depth = 0; parent > 0 && depth < 4096; ++depth) {
            if (refused.contains(ItemKey::folder(parent)))
                return true;
            parent = m_rows.value(ItemKey::folder(parent)).base.parentID;
        }
        return false;
    };
    std::erase_if(trashes, [&](const Action &action) { return keptBack(action.key); });
    NIMBAL_CRASH_POINT("trash.sent");
    for (const Action &action : trashes) {
        m_rows.remove(action.key);
        m_context.forget(action.key);
        leftDisk(action.key);
    }
    qCInfo(logExtension) << trashes.size()
                         << "éléments effacés du dossier mis à la corbeille du Nimbal.";
}

} // namespace OrvelanNimbal::FileProvider
