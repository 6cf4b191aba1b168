// SPDX-License-Identifier: GPL-3.0-or-later
// The plan's downloads: several at once, each beside its place, then renamed in.
#include "async/Wakeup.h"
#include "disk/SafeNames.h"
#include "engine/PlanExecutor_p.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"
#include "sync/ContentHasher.h"

namespace OrvelanNimbal::FileProvider {

namespace {

// printf '' | sha256sum
const QString emptyContentHash =
    QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

bool isEmptyContent(const RemoteState &remote)
{
    return remote.size == 0
           && (remote.contentHash.isEmpty() || remote.contentHash == emptyContentHash);
}

// Downloaded files are made durable and recorded at least this often (and every thousand).
constexpr std::chrono::seconds durableCommitInterval(10);

} // namespace

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

    const int workers =
        std::max(1, std::min(m_engine.m_settings.parallelDownloads, int(queue->size())));
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
            m_engine.commit();
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
        if (!m_folder.isRealFolder(parentPath(target)))
            throw FileError(m_folder.absolute(parentPath(target)),
                            QStringLiteral("le dossier de destination n'est pas en place"));
        if (co_await isAlreadyThere(key, target)) {
            m_engine.m_retries.remove(key);
            co_return;
        }
        if (isEmptyContent(record.remote)) {
            // Nothing to fetch: an empty file is made here, as it would arrive.
            m_folder.createEmptyFile(part);
            m_folder.setModificationTime(part, record.remote.modified);
            Version empty;
            empty.contentHash = emptyContentHash;
            empty.uploaded = record.remote.uploaded;
            co_await place(key, part, target, empty);
            m_engine.m_retries.remove(key);
            co_return;
        }
        const DriveDownload grant = co_await m_engine.m_settings.drive.contentURL(file, m_cancel);
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

QCoro::Task<bool> PlanExecutor::isAlreadyThere(ItemKey key, QString target)
{
    // The drive's content may already sit at the item's place: a run cut short between the
    // rename and the journal, or the same file put there by the user. Recorded, not fetched.
    const ItemRecord record = m_engine.m_items[key];
    const LocalEntry entry = m_folder.inspect(target);
    const auto owner = m_owners.constFind(target);
    const bool ours = owner != m_owners.cend() && *owner == key;
    if (entry.type != LocalEntry::Type::file || entry.size != record.remote.size
        || record.remote.contentHash.isEmpty() || (owner != m_owners.cend() && !ours)
        || (ours && matchesSynchronised(record, entry)))
        co_return false;
    const QString local =
        co_await ContentHasher::sha256(QUrl::fromLocalFile(m_folder.absolute(target)));
    if (local != record.remote.contentHash || m_folder.inspect(target).mtimeNs != entry.mtimeNs)
        co_return false;
    LocalState state;
    state.path = target;
    state.size = entry.size;
    state.contentHash = local;
    state.uploaded = record.remote.uploaded;
    state.mtimeNs = entry.mtimeNs;
    state.inode = entry.inode;
    setLocal(key, state);
    co_return true;
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

} // namespace OrvelanNimbal::FileProvider
