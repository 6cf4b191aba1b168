// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/PlanExecutor_p.h"

#include "Logging.h"
#include "async/Wakeup.h"
#include "PlatformWords.h"
#include "disk/SafeNames.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"
#include "sync/ContentHasher.h"
#include "sync/SyncNaming.h"

#include <QTimeZone>

namespace OrvelanNimbal::FileProvider {

namespace {

// Downloaded files are made durable and recorded at least this often.
constexpr std::chrono::seconds durableCommitInterval(2);

QString itemName(const ItemKey &key)
{
    return (key.isFolder() ? QStringLiteral("d:") : QStringLiteral("f:")) + QString::number(key.id);
}

} // namespace

PlanExecutor::PlanExecutor(SyncEngine &engine, Plan plan, CancellationToken cancel)
    : m_engine(engine)
    , m_folder(engine.m_folder)
    , m_plan(std::move(plan))
    , m_cancel(std::move(cancel))
{
    for (const ItemRecord &record : std::as_const(m_engine.m_items)) {
        if (record.local.isOnDisk())
            m_owners.insert(record.local.path, record.key);
    }
    m_removing = QSet<ItemKey>(m_plan.removals.begin(), m_plan.removals.end());
}

QCoro::Task<SyncEngine::PassOutcome> PlanExecutor::run()
{
    recordSkips();
    placeStructure();
    m_engine.commit(false);
    co_await downloadAll();
    m_engine.commit(true);
    for (const ItemKey &key : m_plan.removals) {
        m_cancel.throwIfCancelled();
        if (m_removing.contains(key))
            remove(key);
    }
    for (const ItemKey &key : m_plan.forgets)
        m_engine.forget(key);
    m_engine.commit(false);
    if (m_plan.orphans > 0) {
        // Items under folders the feed did not bring: a complete listing will place them.
        qCInfo(logExtension) << m_plan.orphans
                             << "éléments sous un dossier inconnu : relecture complète prévue.";
        if (m_engine.m_cursor) {
            m_engine.m_cursor.reset();
            m_engine.m_batch.setCursor(std::nullopt);
            m_engine.commit(false);
            m_outcome.again = true;
        }
    }
    co_return m_outcome;
}

void PlanExecutor::recordSkips()
{
    for (ItemRecord record : std::as_const(m_engine.m_items)) {
        const QString reason = m_plan.skips.value(record.key);
        if (reason == record.skipped)
            continue;
        if (!reason.isEmpty())
            qCInfo(logExtension).noquote()
                << QStringLiteral("%1 laissé hors du dossier : %2.").arg(itemName(record.key), reason);
        record.skipped = reason;
        m_engine.put(record);
    }
}

void PlanExecutor::placeStructure()
{
    std::vector<ItemKey> steps = m_plan.folderCreations;
    steps.insert(steps.end(), m_plan.moves.begin(), m_plan.moves.end());
    std::stable_sort(steps.begin(), steps.end(), [&](const ItemKey &a, const ItemKey &b) {
        return m_plan.placements[a].count(u'/') < m_plan.placements[b].count(u'/');
    });
    for (const ItemKey &key : steps) {
        m_cancel.throwIfCancelled();
        try {
            if (m_engine.m_items[key].local.isOnDisk())
                move(key);
            else
                createFolder(key);
        } catch (const FileError &error) {
            m_engine.failed(key, QStringLiteral("Mise en place"), error);
            ++m_outcome.itemsLeft;
        }
    }
}

bool PlanExecutor::createFolder(const ItemKey &key)
{
    const QString target = m_plan.placements[key];
    const LocalEntry entry = m_folder.inspect(target);
    // A folder of the same name that is not ours yet becomes ours: its contents are kept, and
    // the drive's items join them.
    if (!(entry.type == LocalEntry::Type::folder && !m_owners.contains(target))) {
        if (!vacate(target, key))
            return false;
        m_folder.makeFolder(target);
    }
    LocalState local;
    local.path = target;
    setLocal(key, local);
    return true;
}

bool PlanExecutor::move(const ItemKey &key)
{
    const ItemRecord &record = m_engine.m_items[key];
    const QString from = record.local.path;
    const QString to = m_plan.placements.value(key);
    if (from == to || to.isEmpty())
        return true;
    const LocalEntry entry = m_folder.inspect(from);
    if (!entry.exists() || (key.isFolder() != (entry.type == LocalEntry::Type::folder))) {
        lose(key);
        return false;
    }
    m_moving.insert(key);
    const auto done = qScopeGuard([&] { m_moving.remove(key); });
    if (!vacate(to, key) || !m_folder.moveNoReplace(from, to))
        return false;
    LocalState local = record.local;
    local.path = to;
    setLocal(key, local);
    return true;
}

bool PlanExecutor::vacate(const QString &path, const ItemKey &forKey)
{
    if (!m_folder.inspect(path).exists())
        return true;
    const auto owner = m_owners.constFind(path);
    if (owner == m_owners.cend()) {
        setAside(path); // not ours: kept under another name
        return true;
    }
    const ItemKey holder = *owner;
    if (holder == forKey)
        return true;
    if (m_removing.contains(holder))
        return remove(holder) || (setAside(path), true);
    const QString next = m_plan.placements.value(holder);
    if (next.isEmpty() || next == path)
        return false; // both want the place: the planner never lets that happen
    if (!m_moving.contains(holder))
        return move(holder) && !m_folder.inspect(path).exists();
    // Two items swapping places: one steps aside to a name of ours first.
    const QString temporary = childPath(parentPath(path), SafeNames::reservedPrefix
                                                              + QStringLiteral("move-")
                                                              + QString::number(holder.id));
    if (!m_folder.moveNoReplace(path, temporary))
        return false;
    LocalState local = m_engine.m_items[holder].local;
    local.path = temporary;
    setLocal(holder, local);
    return true;
}

void PlanExecutor::setAside(const QString &path)
{
    const QString name = fileName(path);
    const QDateTime now = m_engine.m_settings.clock->currentDateTime();
    QString copy = SyncNaming::conflictCopyName(name, now, QTimeZone::systemTimeZone(),
                                                PlatformWords::conflictSystem);
    for (int n = 2; !m_folder.moveNoReplace(path, childPath(parentPath(path), copy)); ++n) {
        if (n > 99)
            throw FileError(m_folder.absolute(path),
                            QStringLiteral("aucun nom libre pour garder ce fichier"));
        copy = SyncNaming::conflictCopyName(
            name, now, QTimeZone::systemTimeZone(),
            PlatformWords::conflictSystem + u' ' + QString::number(n));
    }
    m_engine.m_summary.recordConflict(name, copy, now);
    m_engine.m_reportsStale = true;
    qCInfo(logExtension).noquote()
        << QStringLiteral("Conflit : « %1 » n'était pas synchronisé, gardé sous « %2 ».")
               .arg(name, copy);
}

void PlanExecutor::lose(const ItemKey &key)
{
    // Someone moved or deleted it on disk: what the service has is placed again next pass.
    const QString path = m_engine.m_items[key].local.path;
    const QString prefix = path + u'/';
    for (ItemRecord record : std::as_const(m_engine.m_items)) {
        if (record.key == key || record.local.path.startsWith(prefix)) {
            m_owners.remove(record.local.path);
            record.local = {};
            m_engine.put(record);
        }
    }
    m_outcome.again = true;
}

void PlanExecutor::setLocal(const ItemKey &key, const LocalState &local)
{
    ItemRecord record = m_engine.m_items[key];
    const QString old = record.local.path;
    if (old != local.path) {
        if (m_owners.value(old) == key)
            m_owners.remove(old);
        if (local.isOnDisk())
            m_owners.insert(local.path, key);
        // A folder takes everything beneath it along.
        if (key.isFolder() && !old.isEmpty() && local.isOnDisk()) {
            const QString prefix = old + u'/';
            for (ItemRecord child : std::as_const(m_engine.m_items)) {
                if (!child.local.path.startsWith(prefix))
                    continue;
                m_owners.remove(child.local.path);
                child.local.path = local.path + child.local.path.sliced(old.size());
                m_owners.insert(child.local.path, child.key);
                m_engine.put(child);
            }
        }
    }
    record.local = local;
    m_engine.put(record);
}

bool PlanExecutor::matchesSynchronised(const ItemRecord &record, const LocalEntry &entry) const
{
    return entry.type == LocalEntry::Type::file && entry.size == record.local.size
           && entry.mtimeNs == record.local.mtimeNs && entry.inode == record.local.inode;
}

QCoro::Task<> PlanExecutor::downloadAll()
{
    const auto now = m_engine.m_settings.clock->continuousNow();
    auto queue = std::make_shared<std::vector<ItemKey>>();
    qint64 bytes = 0;
    for (const ItemKey &key : m_plan.downloads) {
        const ItemRecord &record = m_engine.m_items[key];
        const auto retry = m_engine.m_retries.constFind(key);
        const bool waiting = retry != m_engine.m_retries.cend() && retry->notBefore > now;
        // Still elsewhere on disk (its move failed): the content waits for the place.
        const bool misplaced =
            record.local.isOnDisk() && record.local.path != m_plan.placements[key];
        if (waiting || misplaced) {
            ++m_outcome.itemsLeft;
            if (waiting) {
                const auto wait =
                    std::chrono::duration_cast<std::chrono::milliseconds>(retry->notBefore - now);
                m_outcome.retryIn = std::min(m_outcome.retryIn.value_or(wait), wait);
            }
            continue;
        }
        queue->push_back(key);
        bytes += record.remote.size;
    }
    if (queue->empty())
        co_return;
    // Taken from the back: the order of the plan.
    std::reverse(queue->begin(), queue->end());
    TransferProgress &progress = m_engine.m_downloadProgress;
    progress.add(bytes);
    m_lastDurableCommit = now;

    const int workers = std::max(1, std::min(m_engine.m_settings.parallelDownloads,
                                             int(queue->size())));
    // The workers share the queue; each ends when it is empty, the last one wakes us.
    auto left = std::make_shared<int>(workers);
    Wakeup allDone;
    std::exception_ptr failure;
    for (int i = 0; i < workers; ++i) {
        [](PlanExecutor *self, std::shared_ptr<std::vector<ItemKey>> queue,
           std::shared_ptr<int> left, Wakeup *allDone,
           std::exception_ptr *failure) -> QCoro::Task<> {
            try {
                co_await self->downloadWorker(std::move(queue));
            } catch (...) {
                if (!*failure)
                    *failure = std::current_exception();
            }
            if (--*left == 0)
                allDone->fire();
        }(this, queue, left, &allDone, &failure);
    }
    co_await allDone.wait();
    progress.finish();
    if (failure)
        std::rethrow_exception(failure);
}

QCoro::Task<> PlanExecutor::downloadWorker(std::shared_ptr<std::vector<ItemKey>> queue)
{
    while (!queue->empty()) {
        if (m_cancel.isCancelled()) {
            queue->clear();
            throw OperationCancelled();
        }
        const ItemKey key = queue->back();
        queue->pop_back();
        co_await download(key);
        const auto now = m_engine.m_settings.clock->continuousNow();
        if (now - m_lastDurableCommit >= durableCommitInterval) {
            m_lastDurableCommit = now;
            m_engine.commit(true);
        }
    }
}

QCoro::Task<> PlanExecutor::download(ItemKey key)
{
    const ItemRecord record = m_engine.m_items[key];
    const QString target = m_plan.placements[key];
    const QString part = childPath(parentPath(target), SafeNames::partialDownloadName(key.id));
    TransferProgress &progress = m_engine.m_downloadProgress;
    qint64 counted = 0;
    std::optional<std::exception_ptr> failure;
    try {
        DriveFile file;
        file.id = key.id;
        if (record.remote.parentID > 0)
            file.parentFolderID = record.remote.parentID;
        file.name = record.remote.name;
        file.size = record.remote.size;
        if (!record.remote.contentHash.isEmpty())
            file.contentHash = record.remote.contentHash;
        file.storageClass = record.remote.storageClass;
        const DriveDownload grant = co_await m_engine.m_settings.drive.contentURL(file, m_cancel);
        if (!m_folder.isRealFolder(parentPath(target)))
            throw FileError(m_folder.absolute(parentPath(target)),
                            QStringLiteral("le dossier de destination n'est pas en place"));
        // Named one by one: GCC 12 frees temporaries of a braced initialiser in a coroutine
        // too early.
        Version version;
        version.size = grant.fileSize ? *grant.fileSize : record.remote.size;
        version.contentHash = grant.contentHash ? *grant.contentHash : record.remote.contentHash;
        version.uploaded = grant.uploadTimestamp ? *grant.uploadTimestamp : record.remote.uploaded;
        ContentDownloads::Expected expected;
        expected.size = version.size;
        if (!version.contentHash.isEmpty())
            expected.sha256 = version.contentHash;
        ContentDownloads::Progress onProgress = [&progress, &counted](qint64 received) {
            progress.advance(received - counted);
            counted = received;
        };
        co_await m_engine.m_settings.downloads->download(grant.url, m_folder.absolute(part),
                                                         expected, onProgress, m_cancel);
        // The drive's date, set before the file appears, so that it appears whole.
        m_folder.setModificationTime(part, record.remote.modified);
        co_await place(key, part, target, version);
        m_engine.m_retries.remove(key);
    } catch (const OperationCancelled &) {
        failure = std::current_exception();
    } catch (const DriveError &error) {
        m_engine.failed(key, QStringLiteral("Téléchargement"), error);
    } catch (const FileError &error) {
        m_engine.failed(key, QStringLiteral("Téléchargement"), error);
    }
    if (m_engine.m_retries.contains(key) || failure) {
        ++m_outcome.itemsLeft;
        progress.drop(record.remote.size - counted);
        try {
            m_folder.removeFile(part);
        } catch (const FileError &) {
            // a part left behind is swept at the next start
        }
        if (m_engine.m_retries.contains(key)) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                m_engine.m_retries[key].notBefore - m_engine.m_settings.clock->continuousNow());
            m_outcome.retryIn = std::min(m_outcome.retryIn.value_or(wait), wait);
        }
    }
    if (failure)
        std::rethrow_exception(*failure);
}

QCoro::Task<> PlanExecutor::place(ItemKey key, QString part, QString target, Version version)
{
    const ItemRecord record = m_engine.m_items[key];
    LocalEntry entry = m_folder.inspect(target);
    const bool ours = m_owners.value(target) == key;
    bool placed = false;
    if (!entry.exists()) {
        placed = m_folder.moveNoReplace(part, target);
        if (!placed)
            entry = m_folder.inspect(target); // appeared meanwhile: looked at below
    } else if (ours && matchesSynchronised(record, entry)) {
        m_folder.moveReplacing(part, target);
        placed = true;
    }
    if (!placed && entry.type == LocalEntry::Type::file && (!m_owners.contains(target) || ours)) {
        // Not the file we left there: its content decides.
        const QString local =
            co_await ContentHasher::sha256(QUrl::fromLocalFile(m_folder.absolute(target)));
        if (local == version.contentHash) {
            m_folder.removeFile(part); // already there, from a run that was cut short
            placed = true;
        } else if (ours && local == record.local.contentHash) {
            m_folder.moveReplacing(part, target); // only its date changed
            placed = true;
        }
    }
    if (!placed) {
        const auto owner = m_owners.constFind(target);
        if (owner != m_owners.cend() && *owner != key) {
            if (!vacate(target, key))
                throw FileError(m_folder.absolute(target),
                                QStringLiteral("la place est prise par un autre élément"));
        } else if (m_folder.inspect(target).exists()) {
            setAside(target); // changed here since, or never ours: kept under another name
        }
        if (!m_folder.moveNoReplace(part, target))
            throw FileError(m_folder.absolute(target),
                            QStringLiteral("la place est prise par un autre élément"));
    }
    const LocalEntry written = m_folder.inspect(target);
    LocalState local;
    local.path = target;
    local.size = written.size;
    local.contentHash = version.contentHash;
    local.uploaded = version.uploaded;
    local.mtimeNs = written.mtimeNs;
    local.inode = written.inode;
    setLocal(key, local);
}

bool PlanExecutor::remove(const ItemKey &key)
{
    m_removing.remove(key);
    ItemRecord record = m_engine.m_items[key];
    const QString path = record.local.path;
    bool removed = true;
    try {
        const LocalEntry entry = m_folder.inspect(path);
        if (!entry.exists()) {
            removed = true;
        } else if (key.isFolder()) {
            removed = entry.type == LocalEntry::Type::folder && m_folder.removeEmptyFolder(path);
        } else if (matchesSynchronised(record, entry)) {
            m_folder.removeFile(path);
        } else {
            removed = false;
        }
    } catch (const FileError &error) {
        qCWarning(logExtension).noquote() << error.errorDescription();
        removed = false;
    }
    if (!removed)
        qCInfo(logExtension).noquote()
            << QStringLiteral("%1 gardé sur le disque : il contient un travail local pas encore "
                              "envoyé.")
                   .arg(itemName(key));
    // Either way the row no longer places anything: what stays is local work.
    if (m_owners.value(path) == key)
        m_owners.remove(path);
    if (!record.remote.present) {
        m_engine.forget(key);
    } else {
        record.local = {};
        m_engine.put(record);
    }
    return removed;
}

} // namespace OrvelanNimbal::FileProvider
