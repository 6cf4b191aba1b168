// SPDX-License-Identifier: GPL-3.0-or-later
#include "Logging.h"
#include "engine/LocalChanges_p.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"
#include "sync/ContentHasher.h"

#include <QMimeDatabase>

#include <algorithm>

namespace OrvelanNimbal::FileProvider {

namespace {

qsizetype depth(const QString &path)
{
    return path.count(u'/');
}

bool sameSnapshot(const LocalEntry &a, const LocalEntry &b)
{
    return a.type == b.type && a.size == b.size && a.mtimeNs == b.mtimeNs && a.inode == b.inode;
}

bool matchesBase(const LocalState &base, const LocalEntry &entry)
{
    return entry.size == base.size && entry.mtimeNs == base.mtimeNs && entry.inode == base.inode;
}

// After a refusal of the service that only time lifts (423: the file is open in the online
// editor), the item waits 30 s, 1, 2 and 5 minutes, then every 10.
constexpr std::chrono::seconds lockedWaits[] = {std::chrono::seconds(30), std::chrono::minutes(1),
                                                std::chrono::minutes(2), std::chrono::minutes(5),
                                                std::chrono::minutes(10)};
// Beyond the quota, no new content is sent for this long (renames, moves and trashing go on).
constexpr std::chrono::minutes quotaPause(15);
// A name the service refused for the place (taken by an item this disk does not show yet).
constexpr std::chrono::minutes refusedNameWait(5);

} // namespace

LocalChanges::LocalChanges(SyncEngine &engine, LocalScan scan, CancellationToken cancel)
    : m_engine(engine)
    , m_scan(std::move(scan))
    , m_cancel(std::move(cancel))
{}

QCoro::Task<SyncEngine::PassOutcome> LocalChanges::send()
{
    classify();
    matchMoves();
    releaseTrashedOnService();
    co_await createFolders();
    co_await sendMoves();
    m_engine.commit();
    co_await sendContents();
    co_await trashVanished();
    m_engine.commit();
    co_return m_outcome;
}

void LocalChanges::classify()
{
    for (const ItemRecord &record : std::as_const(m_engine.m_items)) {
        if (record.local.isOnDisk())
            m_owners.insert(record.local.path, record.key);
    }
    // Rows to update, written after the walk: the table is not written while it is read.
    std::vector<ItemRecord> refreshed;
    for (const ItemRecord &record : std::as_const(m_engine.m_items)) {
        const QString &path = record.local.path;
        if (!record.local.isOnDisk() || m_scan.isUnseen(path))
            continue;
        const auto found = m_scan.entries.constFind(path);
        const bool sameKind = found != m_scan.entries.cend()
                              && (found->type == LocalEntry::Type::folder) == record.key.isFolder();
        if (!sameKind) {
            m_vanished.push_back(record.key);
            m_baseParents.insert(record.key, m_owners.value(parentPath(path)).id);
            continue;
        }
        if (record.key.isFolder()) {
            if (record.local.inode != found->inode) {
                // Folders placed before their inode was kept: it is what finds them after a
                // rename.
                refreshed.push_back(record);
                refreshed.back().local.inode = found->inode;
            }
        } else if (!matchesBase(record.local, *found)) {
            m_edited.push_back({path, record.key, *found});
        }
    }
    for (const ItemRecord &record : refreshed)
        m_engine.put(record);
    for (const ItemKey &key : m_vanished)
        m_owners.remove(m_engine.m_items[key].local.path);
    for (auto entry = m_scan.entries.cbegin(); entry != m_scan.entries.cend(); ++entry) {
        if (!m_owners.contains(entry.key()))
            m_appeared.insert(entry.key());
    }
}

void LocalChanges::matchMoves()
{
    // Shallowest first: a folder found elsewhere takes its children along, and they are then
    // where the journal says, under the new path.
    std::stable_sort(m_vanished.begin(), m_vanished.end(), [&](const ItemKey &a, const ItemKey &b) {
        return depth(pathOf(a)) < depth(pathOf(b));
    });
    std::vector<ItemKey> gone;
    for (const ItemKey &key : m_vanished) {
        const ItemRecord &record = m_engine.m_items[key];
        const QString path = pathOf(key);
        const auto atPlace = m_scan.entries.constFind(path);
        const bool kind = atPlace != m_scan.entries.cend()
                          && (atPlace->type == LocalEntry::Type::folder) == key.isFolder();
        if (kind && m_appeared.contains(path)) {
            // Carried along by its folder's move.
            m_appeared.remove(path);
            m_owners.insert(path, key);
            if (!key.isFolder() && !matchesBase(record.local, *atPlace))
                m_edited.push_back({path, key, *atPlace});
            continue;
        }
        const QString candidate =
            record.local.inode != 0 ? m_scan.pathsByInode.value(record.local.inode) : QString();
        const auto entry = m_scan.entries.constFind(candidate);
        if (candidate.isEmpty() || !m_appeared.contains(candidate)
            || (entry->type == LocalEntry::Type::folder) != key.isFolder()) {
            gone.push_back(key);
            continue;
        }
        m_moved.push_back({key, path});
        relocate(key, candidate);
        if (!key.isFolder() && !matchesBase(record.local, *entry))
            m_edited.push_back({candidate, key, *entry});
    }
    m_vanished = std::move(gone);
}

QString LocalChanges::pathOf(const ItemKey &key) const
{
    const auto moved = m_paths.constFind(key);
    return moved != m_paths.cend() ? *moved : m_engine.m_items[key].local.path;
}

void LocalChanges::relocate(const ItemKey &key, const QString &path)
{
    // Only in this pass's view until the service has the move: a move it does not take leaves
    // the journal as it was, and nothing on disk is moved back because a request failed.
    const QString old = pathOf(key);
    m_paths.insert(key, path);
    m_appeared.remove(path);
    m_owners.insert(path, key);
    if (!key.isFolder())
        return;
    // What the journal places beneath it is now beneath the new path; what the disk has there
    // is matched against it as the rows below come up.
    const QString prefix = old + u'/';
    for (const ItemRecord &child : std::as_const(m_engine.m_items)) {
        const QString childPath = pathOf(child.key);
        if (child.local.isOnDisk() && childPath.startsWith(prefix))
            m_paths.insert(child.key, path + childPath.sliced(old.size()));
    }
}

void LocalChanges::keepRelocation(const ItemKey &key)
{
    const QString path = pathOf(key);
    const QString prefix = path + u'/';
    for (auto moved = m_paths.begin(); moved != m_paths.end();) {
        if (moved.key() == key || moved.value().startsWith(prefix)) {
            ItemRecord record = m_engine.m_items[moved.key()];
            record.local.path = moved.value();
            m_engine.put(record);
            moved = m_paths.erase(QHash<ItemKey, QString>::const_iterator(moved));
        } else {
            ++moved;
        }
    }
}

void LocalChanges::releaseTrashedOnService()
{
    // An edit made to a file the service trashed (itself or with its folder) is new work: the
    // file is sent again as a new one, in place, and its folders are made again around it.
    const auto release = [&](const ItemKey &key) {
        const QString path = pathOf(key);
        m_paths.remove(key);
        m_owners.remove(path);
        m_appeared.insert(path);
        qCInfo(logExtension).noquote()
            << QStringLiteral("« %1 » a changé ici après sa mise à la corbeille sur le Nimbal : "
                              "renvoyé à sa place.")
                   .arg(path);
        ItemRecord record = m_engine.m_items[key];
        record.local = {};
        m_engine.put(record);
    };
    std::erase_if(m_edited, [&](const Upload &upload) {
        if (m_engine.m_items[*upload.key].remote.present)
            return false;
        release(*upload.key);
        return true;
    });
    for (const auto &[key, from] : m_moved) {
        if (!m_engine.m_items[key].remote.present)
            release(key);
    }
    const QSet<QString> appeared = m_appeared; // released folders join it as it is read
    for (const QString &path : appeared) {
        for (QString folder = parentPath(path); !folder.isEmpty(); folder = parentPath(folder)) {
            const auto owner = m_owners.constFind(folder);
            if (owner != m_owners.cend() && !m_engine.m_items[*owner].remote.present)
                release(*owner);
        }
    }
}

std::optional<std::optional<qint64>> LocalChanges::parentID(const QString &path) const
{
    const QString parent = parentPath(path);
    if (parent.isEmpty())
        return std::optional<qint64>();
    const auto owner = m_owners.constFind(parent);
    if (owner == m_owners.cend() || !owner->isFolder() || !m_engine.m_items[*owner].remote.present)
        return std::nullopt; // its folder is not on the service (yet)
    return std::optional<qint64>(owner->id);
}

QCoro::Task<> LocalChanges::createFolders()
{
    std::vector<QString> folders;
    for (const QString &path : std::as_const(m_appeared)) {
        if (m_scan.entries[path].type == LocalEntry::Type::folder)
            folders.push_back(path);
    }
    std::sort(folders.begin(), folders.end(), [](const QString &a, const QString &b) {
        return std::pair(depth(a), a) < std::pair(depth(b), b);
    });
    for (const QString &path : folders) {
        m_cancel.throwIfCancelled();
        const std::optional<std::optional<qint64>> parent = parentID(path);
        if (!parent || isWaiting(path))
            continue;
        qint64 id = 0;
        try {
            const QString name = fileName(path);
            id = co_await m_engine.m_settings.drive.createFolder(name, *parent, m_cancel);
        } catch (const DriveError &error) {
            if (!refused(error, std::nullopt, path))
                throw;
            continue;
        }
        ItemRecord record;
        record.key = ItemKey::folder(id);
        record.remote.parentID = parent->value_or(0);
        record.remote.name = fileName(path);
        record.local.path = path;
        record.local.inode = m_scan.entries[path].inode;
        m_engine.put(record);
        m_owners.insert(path, record.key);
        m_appeared.remove(path);
    }
}

QCoro::Task<> LocalChanges::sendMoves()
{
    std::stable_sort(m_moved.begin(), m_moved.end(), [&](const auto &a, const auto &b) {
        return depth(pathOf(a.first)) < depth(pathOf(b.first));
    });
    for (const auto &step : m_moved) {
        const ItemKey key = step.first;
        const QString from = step.second;
        m_cancel.throwIfCancelled();
        ItemRecord record = m_engine.m_items[key];
        if (!record.remote.present || isWaiting(key))
            continue;
        const QString to = pathOf(key);
        // Renamed or moved on the service too: its name wins, and the plan moves the item there.
        if (record.remote.name != fileName(from) || record.remote.parentID != m_baseParents[key]) {
            keepRelocation(key);
            continue;
        }
        const std::optional<std::optional<qint64>> parent = parentID(to);
        if (!parent)
            continue;
        const QString name = fileName(to);
        const bool renamed = name != record.remote.name;
        const bool moved = parent->value_or(0) != record.remote.parentID;
        try {
            const DriveAPI &drive = m_engine.m_settings.drive;
            if (key.isFolder()) {
                // Named one by one: GCC 12 ends the temporaries of a co_await expression twice.
                std::optional<QString> newName;
                if (renamed)
                    newName = name;
                std::optional<std::optional<qint64>> newParent;
                if (moved)
                    newParent = *parent;
                co_await drive.updateFolder(key.id, newName, newParent, m_cancel);
            } else {
                if (renamed)
                    co_await drive.renameFile(key.id, name, m_cancel);
                if (moved) {
                    std::vector<qint64> files(1, key.id);
                    std::vector<qint64> folders;
                    co_await drive.move(files, folders, *parent, m_cancel);
                }
            }
        } catch (const DriveError &error) {
            if (!refused(error, key, to))
                throw;
            continue;
        }
        record.remote.name = name;
        record.remote.parentID = parent->value_or(0);
        m_engine.put(record);
        keepRelocation(key);
        qCInfo(logExtension).noquote()
            << QStringLiteral("« %1 » déplacé vers « %2 » sur le Nimbal.").arg(from, to);
    }
}

QCoro::Task<> LocalChanges::sendContents()
{
    std::vector<Upload> uploads = std::move(m_edited);
    for (const QString &path : std::as_const(m_appeared)) {
        const LocalEntry &entry = m_scan.entries[path];
        if (entry.type == LocalEntry::Type::file)
            uploads.push_back({path, std::nullopt, entry});
    }
    if (uploads.empty())
        co_return;
    const auto now = m_engine.m_settings.clock->continuousNow();
    if (m_engine.m_quotaPausedUntil > now) {
        postpone(std::chrono::duration_cast<std::chrono::milliseconds>(m_engine.m_quotaPausedUntil
                                                                       - now));
        co_return;
    }
    std::sort(uploads.begin(), uploads.end(),
              [](const Upload &a, const Upload &b) { return a.path < b.path; });
    std::erase_if(uploads,
                  [&](const Upload &upload) { return !isQuiet(upload.path, upload.entry); });
    qint64 bytes = 0;
    for (const Upload &upload : uploads)
        bytes += upload.entry.size;
    TransferProgress &progress = m_engine.m_uploadProgress;
    progress.add(bytes);
    const auto finished = qScopeGuard([&progress] { progress.finish(); });
    for (Upload &upload : uploads) {
        m_cancel.throwIfCancelled();
        if (m_engine.m_quotaPausedUntil > m_engine.m_settings.clock->continuousNow()) {
            progress.drop(upload.entry.size);
            continue;
        }
        co_await sendContent(std::move(upload));
        m_engine.commit(); // what the service now has is on record before the next one goes
    }
}

bool LocalChanges::isQuiet(const QString &path, const LocalEntry &entry)
{
    // Written within the quiet period, or still open for writing: it goes once it settles.
    const qint64 nowNs = m_engine.m_settings.clock->currentDateTime().toMSecsSinceEpoch() * 1000000;
    const qint64 quietNs = qint64(m_engine.m_settings.quietPeriod.count()) * 1000000;
    const qint64 age = nowNs - entry.mtimeNs;
    m_outcome.settling = m_outcome.settling || age < quietNs;
    if (age < quietNs) {
        postpone(std::chrono::milliseconds((quietNs - std::max<qint64>(age, 0)) / 1000000 + 1));
        return false;
    }
    if (m_engine.m_folder.isOpenForWriting(path)) {
        m_outcome.settling = true;
        postpone(m_engine.m_settings.quietPeriod);
        return false;
    }
    return true;
}

QCoro::Task<> LocalChanges::sendContent(Upload upload)
{
    TransferProgress &progress = m_engine.m_uploadProgress;
    qint64 counted = 0;
    const auto unsent = qScopeGuard([&] { progress.drop(upload.entry.size - counted); });
    if (upload.key ? isWaiting(*upload.key) : isWaiting(upload.path))
        co_return;
    if (upload.key && m_paths.contains(*upload.key)) {
        postpone(m_engine.m_settings.quietPeriod); // its move is not on the service yet
        co_return;
    }
    std::optional<std::optional<qint64>> parent;
    if (!upload.key) {
        parent = parentID(upload.path);
        if (!parent)
            co_return; // its folder is not on the service yet
    }
    const LocalFolder &folder = m_engine.m_folder;
    const QUrl url = QUrl::fromLocalFile(folder.absolute(upload.path));
    const QString hash = co_await ContentHasher::sha256(url, m_cancel);
    // Read whole and unchanged meanwhile, or it waits for the next pass.
    const LocalEntry after = folder.inspect(upload.path);
    if (!sameSnapshot(after, upload.entry)) {
        m_outcome.settling = true;
        postpone(m_engine.m_settings.quietPeriod);
        co_return;
    }
    LocalState local;
    local.path = upload.path;
    local.size = after.size;
    local.contentHash = hash;
    local.mtimeNs = after.mtimeNs;
    local.inode = after.inode;

    DriveAPI::LocalContent content;
    content.url = url;
    content.size = after.size;
    content.contentHash = hash;
    content.contentType = QMimeDatabase()
                              .mimeTypeForFile(fileName(upload.path), QMimeDatabase::MatchExtension)
                              .name();
    DriveAPI::Progress onProgress = [&progress, &counted](qint64 sent) {
        if (sent > counted) {
            progress.advance(sent - counted);
            counted = sent;
        }
    };
    const DriveAPI &drive = m_engine.m_settings.drive;
    ItemRecord record;
    try {
        if (upload.key) {
            record = m_engine.m_items[*upload.key];
            if (hash == record.local.contentHash) {
                // Touched, not changed: only the snapshot moves on.
                local.uploaded = record.local.uploaded;
                record.local = local;
                m_engine.put(record);
                co_return;
            }
            if (!isSynchronizable(record.remote.storageClass)) {
                keepAsConflictCopy(*upload.key);
                co_return;
            }
            if (!record.contentIsCurrent())
                co_return; // changed on both sides: the plan keeps these bytes beside
            ReplacePrecondition precondition;
            if (!record.local.contentHash.isEmpty())
                precondition.ifContentHash = record.local.contentHash;
            if (record.local.uploaded > 0)
                precondition.ifDateUpload = record.local.uploaded;
            DriveFile file;
            file.id = upload.key->id;
            file.name = record.remote.name;
            if (record.remote.parentID > 0)
                file.parentFolderID = record.remote.parentID;
            const DriveFile sent =
                co_await drive.replaceContent(file, content, precondition, onProgress, m_cancel);
            record.remote = remoteState(sent);
        } else {
            const QString name = fileName(upload.path);
            const DriveFile sent =
                co_await drive.createFile(name, *parent, content, onProgress, m_cancel);
            record.key = ItemKey::file(sent.id);
            record.remote = remoteState(sent);
        }
    } catch (const DriveError &error) {
        if (upload.key
            && (error.kind() == DriveError::Kind::reinforced
                || error.kind() == DriveError::Kind::archived)) {
            keepAsConflictCopy(*upload.key);
            co_return;
        }
        if (upload.key && error.kind() == DriveError::Kind::versionConflict) {
            // Another version got there first: the next pass reads it and the plan decides.
            m_outcome.again = true;
            co_return;
        }
        if (!refused(error, upload.key, upload.path))
            throw;
        co_return;
    }
    progress.advance(upload.entry.size - counted);
    counted = upload.entry.size;
    local.uploaded = record.remote.uploaded;
    record.local = local;
    m_engine.put(record);
    m_owners.insert(upload.path, record.key);
    m_engine.m_retries.remove(record.key);
}

void LocalChanges::keepAsConflictCopy(const ItemKey &key)
{
    // The service's version keeps the name (and, archived, stays on the web only); the user's
    // bytes move beside under a conflict name and go up as a new file at the next pass.
    ItemRecord record = m_engine.m_items[key];
    m_engine.keepAside(record.local.path);
    m_owners.remove(record.local.path);
    record.local = {};
    m_engine.put(record);
    m_outcome.again = true;
}

QCoro::Task<> LocalChanges::trashVanished()
{
    // Deleted here: trashed on the service if the service's side is still the base, otherwise
    // the service's version comes back. A folder goes whole only if nothing beneath it changed
    // on the service; its children are then not trashed one by one.
    std::vector<qint64> files;
    std::vector<qint64> folders;
    QList<QString> trashedFolders;
    std::stable_sort(m_vanished.begin(), m_vanished.end(), [&](const ItemKey &a, const ItemKey &b) {
        return depth(m_engine.m_items[a].local.path) < depth(m_engine.m_items[b].local.path);
    });
    const auto changedOnService = [&](const ItemRecord &record) {
        return !record.key.isFolder() && record.remote.present && !record.contentIsCurrent()
               && isSynchronizable(record.remote.storageClass);
    };
    std::vector<ItemKey> trashed;
    for (const ItemKey &key : m_vanished) {
        ItemRecord record = m_engine.m_items[key];
        const QString path = pathOf(key);
        const bool insideTrashed =
            std::any_of(trashedFolders.cbegin(), trashedFolders.cend(),
                        [&](const QString &folder) { return path.startsWith(folder + u'/'); });
        bool keep = !record.remote.present || changedOnService(record) || isWaiting(key);
        if (!keep && key.isFolder()) {
            const QString prefix = path + u'/';
            for (const ItemRecord &child : std::as_const(m_engine.m_items)) {
                const QString childPath = pathOf(child.key);
                if (child.local.isOnDisk() && childPath.startsWith(prefix)
                    && (changedOnService(child) || m_scan.entries.contains(childPath))) {
                    keep = true;
                    break;
                }
            }
        }
        if (keep) {
            // Nothing of it is on disk any more: what the service keeps comes back.
            record.local = {};
            m_engine.put(record);
            continue;
        }
        trashed.push_back(key);
        if (!insideTrashed) {
            (key.isFolder() ? folders : files).push_back(key.id);
            if (key.isFolder())
                trashedFolders.append(path);
        }
    }
    if (trashed.empty())
        co_return;
    const qsizetype known = m_engine.m_items.size();
    const qsizetype count = qsizetype(trashed.size());
    if (count > SyncEngine::massRemovalFloor
        && double(count) > SyncEngine::massRemovalShare * double(known)) {
        qCWarning(logExtension).noquote()
            << QStringLiteral("%1 éléments sur %2 effacés du dossier : rien n'est mis à la "
                              "corbeille du Nimbal sans confirmation.")
                   .arg(count)
                   .arg(known);
        co_return;
    }
    m_cancel.throwIfCancelled();
    // The rows stay as they were until the service has them in its trash: a failure finds the
    // same deletions at the next pass.
    try {
        co_await m_engine.m_settings.drive.trash(files, folders, m_cancel);
    } catch (const DriveError &error) {
        if (error.kind() != DriveError::Kind::notFound)
            throw;
        // One of them went meanwhile, and the service trashed none: the feed says which first.
        m_outcome.again = true;
        co_return;
    }
    for (const ItemKey &key : trashed) {
        ItemRecord record = m_engine.m_items[key];
        record.remote.present = false;
        record.local = {};
        m_engine.put(record);
    }
    qCInfo(logExtension) << trashed.size()
                         << "éléments effacés du dossier mis à la corbeille "
                            "du Nimbal.";
}

bool LocalChanges::refused(const DriveError &error, const std::optional<ItemKey> &key,
                           const QString &path)
{
    using Kind = DriveError::Kind;
    switch (error.kind()) {
    case Kind::insufficientQuota:
        if (m_engine.m_quotaPausedUntil <= m_engine.m_settings.clock->continuousNow())
            qCWarning(logExtension).noquote()
                << QStringLiteral("Espace du Nimbal plein (« %1 » refusé) : aucun nouveau contenu "
                                  "n'est envoyé pendant %2 min ; les fichiers restent dans le "
                                  "dossier.")
                       .arg(path)
                       .arg(quotaPause.count());
        m_engine.m_quotaPausedUntil = m_engine.m_settings.clock->continuousNow() + quotaPause;
        postpone(quotaPause);
        return true;
    case Kind::locked:
    case Kind::versionConflict:
    case Kind::notFound:
    case Kind::payloadTooLarge:
    case Kind::reinforced:
    case Kind::archived:
        break;
    case Kind::http:
        if (error.status() >= 500 || error.status() == 429)
            return false;
        break;
    default:
        return false; // the service is not answering: the whole pass waits
    }
    if (key) {
        m_engine.failed(*key, QStringLiteral("Envoi"), error);
        const auto &retry = m_engine.m_retries[*key];
        if (error.kind() == Kind::locked)
            m_engine.m_retries[*key].notBefore =
                m_engine.m_settings.clock->continuousNow()
                + lockedWaits[std::min<qsizetype>(retry.attempts - 1, std::size(lockedWaits) - 1)];
        postpone(std::chrono::duration_cast<std::chrono::milliseconds>(
            m_engine.m_retries[*key].notBefore - m_engine.m_settings.clock->continuousNow()));
    } else {
        m_engine.m_pathWaits.insert(path,
                                    m_engine.m_settings.clock->continuousNow() + refusedNameWait);
        qCWarning(logExtension).noquote()
            << QStringLiteral("« %1 » refusé par le Nimbal (%2) : nouvel essai dans %3 min.")
                   .arg(path, debugName(error))
                   .arg(refusedNameWait.count());
        postpone(refusedNameWait);
    }
    return true;
}

bool LocalChanges::isWaiting(const ItemKey &key)
{
    const auto retry = m_engine.m_retries.constFind(key);
    if (retry == m_engine.m_retries.cend())
        return false;
    const auto now = m_engine.m_settings.clock->continuousNow();
    if (retry->notBefore <= now)
        return false;
    postpone(std::chrono::duration_cast<std::chrono::milliseconds>(retry->notBefore - now));
    return true;
}

bool LocalChanges::isWaiting(const QString &path)
{
    const auto until = m_engine.m_pathWaits.constFind(path);
    if (until == m_engine.m_pathWaits.cend())
        return false;
    const auto now = m_engine.m_settings.clock->continuousNow();
    if (*until <= now) {
        m_engine.m_pathWaits.erase(until);
        return false;
    }
    postpone(std::chrono::duration_cast<std::chrono::milliseconds>(*until - now));
    return true;
}

void LocalChanges::postpone(std::chrono::milliseconds wait)
{
    ++m_outcome.itemsLeft;
    m_outcome.retryIn = std::min(m_outcome.retryIn.value_or(wait), wait);
}

} // namespace OrvelanNimbal::FileProvider
