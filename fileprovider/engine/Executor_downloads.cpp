// SPDX-License-Identifier: GPL-3.0-or-later
// The plan's downloads: several at once, their grants asked for a little ahead, each written
// beside its place, then renamed in.
#include "async/OffMainThread.h"
#include "async/Wakeup.h"
#include "disk/SafeNames.h"
#include "engine/CrashPoints.h"
#include "engine/Executor.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"
#include "sync/ContentHasher.h"
#include "transfer/GrantWindow.h"

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

// How far ahead of the downloads their grants are asked for: enough that a download never waits
// for its grant, few enough that none expires before its turn.
constexpr qsizetype grantWindow = 32;
// Downloads written are made durable and put in place together, this many at most, the first of
// them waiting this long at most.
constexpr qsizetype placeBatchFiles = 1000;
constexpr std::chrono::seconds placeBatchAge(2);

DriveFile fileToFetch(const ItemKey &key, const RemoteState &remote)
{
    DriveFile file;
    file.id = key.id;
    if (remote.parentID > 0)
        file.parentFolderID = remote.parentID;
    file.name = remote.name;
    file.size = remote.size;
    if (!remote.contentHash.isEmpty())
        file.contentHash = remote.contentHash;
    file.storageClass = remote.storageClass;
    return file;
}

} // namespace

QCoro::Task<> Executor::downloadAll(std::vector<Action> downloads)
{
    std::vector<Action> queue;
    std::vector<std::optional<DriveFile>> toFetch;
    qint64 bytes = 0;
    for (Action &action : downloads) {
        if (isWaiting(action))
            continue;
        const RemoteState &remote = row(action.key).remote;
        bytes += remote.size;
        m_grantIndex.insert(action.key, qsizetype(toFetch.size()));
        toFetch.push_back(isEmptyContent(remote) ? std::nullopt
                                                 : std::optional(fileToFetch(action.key, remote)));
        queue.push_back(std::move(action));
    }
    if (queue.empty())
        co_return;
    // In the plan's order, which is the order the workers take them in.
    m_grants = std::make_unique<GrantWindow>(m_context.drive(), std::move(toFetch), grantWindow,
                                             m_cancel);
    TransferProgress &progress = m_context.downloadProgress();
    progress.add(bytes);
    const auto done = qScopeGuard([&] {
        m_grants.reset();
        m_grantIndex.clear();
        progress.finish();
    });
    co_await runTogether(std::move(queue), m_context.settings().parallelDownloads,
                         &Executor::afterDownload);
    co_await placeWritten();
}

QCoro::Task<> Executor::afterDownload()
{
    if (isBatchDue())
        co_await placeWritten();
    co_await m_context.commitIfDue();
}

QCoro::Task<> Executor::download(Action action)
{
    const ItemKey key = action.key;
    const ItemRecord record = row(key);
    const LocalFolder &folder = m_context.folder();
    QString target = action.path;
    if (target.isEmpty())
        target = whereIs(key).value_or(QString());
    if (target.isEmpty())
        target = pathOf(action.target).value_or(QString());
    if (target.isEmpty() || !folder.isRealFolder(parentPath(target)))
        throw FileError(folder.absolute(target.isEmpty() ? action.target.name : target),
                        QStringLiteral("le dossier de destination n'est pas en place"));
    if (co_await isAlreadyThere(key, target)) {
        m_context.succeeded(key.text());
        co_return;
    }
    const QString part = childPath(parentPath(target), SafeNames::partialDownloadName(key.id));
    TransferProgress &progress = m_context.downloadProgress();
    Intent intent;
    intent.kind = Intent::Kind::download;
    intent.key = key;
    intent.path = part;
    // Written before the temporary exists: a kill leaves it named in the journal, removed at
    // the next start.
    const qint64 number = m_context.journal().record(intent);
    qint64 counted = 0;
    // A download that does not end in place leaves nothing behind, or its intent says where.
    const auto discard = [&] {
        progress.drop(record.remote.size - counted);
        try {
            folder.removeFile(part);
            m_context.dropIntent(number);
        } catch (const FileError &) {
            // removed at the next start, from the intent
        }
    };
    Version version;
    try {
        if (isEmptyContent(record.remote)) {
            // Nothing to fetch: an empty file is made here, as it would arrive.
            folder.createEmptyFile(part);
            version.contentHash = emptyContentHash;
            version.uploaded = record.remote.uploaded;
        } else {
            const DriveDownload grant = co_await grantFor(key, record.remote);
            // Named one by one: GCC 12 frees temporaries of a braced initialiser in a coroutine
            // too early.
            version.size = grant.fileSize ? *grant.fileSize : record.remote.size;
            version.contentHash =
                grant.contentHash ? *grant.contentHash : record.remote.contentHash;
            version.uploaded =
                grant.uploadTimestamp ? *grant.uploadTimestamp : record.remote.uploaded;
            ContentDownloads::Expected expected;
            expected.size = version.size;
            if (!version.contentHash.isEmpty())
                expected.sha256 = version.contentHash;
            ContentDownloads::Progress onProgress = [&progress, &counted](qint64 received) {
                progress.advance(received - counted);
                counted = received;
            };
            QString destination = folder.absolute(part); // named: see above
            co_await m_context.settings().downloads->download(
                grant.url, std::move(destination), expected, onProgress, m_cancel);
        }
        // The drive's date, set before the file appears, so that it appears whole.
        folder.setModificationTime(part, record.remote.modified);
        NIMBAL_CRASH_POINT("download.written");
    } catch (const DriveError &error) {
        discard();
        // Gone there, or archived, since the feed was read: the next pass reads what it is.
        if (error.kind() != DriveError::Kind::notFound
            && error.kind() != DriveError::Kind::archived)
            throw;
        m_outcome.again = true;
        co_return;
    } catch (const FileError &) {
        discard();
        throw;
    } catch (const OperationCancelled &) {
        discard();
        throw;
    }
    // Placed with the rest of its batch, once their contents are all on the disk.
    if (m_written.empty())
        m_writtenSince = m_context.clock().continuousNow();
    // Named: GCC 12 frees temporaries of a braced initialiser in a coroutine too early.
    Written written;
    written.action = std::move(action);
    written.part = part;
    written.target = target;
    written.version = version;
    written.intent = number;
    m_written.push_back(std::move(written));
}

bool Executor::isBatchDue() const
{
    return !m_placing && !m_written.empty()
           && (qsizetype(m_written.size()) >= placeBatchFiles
               || m_context.clock().continuousNow() - m_writtenSince >= placeBatchAge);
}

QCoro::Task<> Executor::placeWritten()
{
    if (m_placing || m_written.empty())
        co_return;
    m_placing = true;
    const auto placing = qScopeGuard([this] { m_placing = false; });
    std::vector<Written> batch = std::exchange(m_written, {});
    qsizetype next = 0;
    // What is left of the batch when the pass ends halfway goes, as a failed download would.
    const auto discardRest = qScopeGuard([&] {
        for (; next < qsizetype(batch.size()); ++next) {
            try {
                m_context.folder().removeFile(batch[size_t(next)].part);
                m_context.dropIntent(batch[size_t(next)].intent);
            } catch (const FileError &) {
                // removed at the next pass, from its intent
            }
        }
    });
    // One sync for the whole batch: every content on the disk before any takes its place.
    auto sync = [folder = m_context.folder()] {
        folder.syncFileSystem();
        return true;
    };
    co_await runOffMainThread(std::move(sync));
    for (; next < qsizetype(batch.size()); ++next) {
        Written &written = batch[size_t(next)];
        m_cancel.throwIfCancelled();
        try {
            co_await place(written.action.key, written.part, written.target, written.version);
        } catch (const FileError &error) {
            try {
                m_context.folder().removeFile(written.part);
                m_context.dropIntent(written.intent);
            } catch (const FileError &) {
                // removed at the next pass, from its intent
            }
            failed(written.action, error);
            continue;
        }
        m_context.dropIntent(written.intent);
        m_context.succeeded(written.action.key.text());
    }
    // The renames and their rows: synced and written down together.
    co_await m_context.commit();
}

QCoro::Task<DriveDownload> Executor::grantFor(ItemKey key, RemoteState remote)
{
    const auto asked = m_grantIndex.constFind(key);
    if (m_grants && asked != m_grantIndex.cend())
        co_return co_await m_grants->grant(*asked);
    co_return co_await m_context.drive().contentURL(fileToFetch(key, remote), m_cancel);
}

QCoro::Task<bool> Executor::isAlreadyThere(ItemKey key, QString target)
{
    // The drive's content may already sit at the item's place: a run cut short between the
    // rename and the journal, or the same file put there by the user. Recorded, not fetched.
    const ItemRecord record = row(key);
    const LocalFolder &folder = m_context.folder();
    const LocalEntry entry = folder.inspect(target);
    const auto owner = m_at.constFind(target);
    const bool ours = owner != m_at.cend() && *owner == key;
    if (entry.type != LocalEntry::Type::file || entry.size != record.remote.size
        || record.remote.contentHash.isEmpty() || (owner != m_at.cend() && !ours))
        co_return false;
    if (ours && matchesBase(record.base, entry))
        co_return false; // the base's own content: a new version is wanted
    // Named: GCC 12 ends the temporaries of a co_await expression twice.
    QUrl file = QUrl::fromLocalFile(folder.absolute(target));
    const QString local = co_await ContentHasher::sha256(std::move(file), m_cancel);
    if (local != record.remote.contentHash || folder.inspect(target).mtimeNs != entry.mtimeNs)
        co_return false;
    ItemRecord found = record;
    found.base = baseOf(target, record.remote.parentID, entry, local, record.remote.uploaded);
    this->record(found);
    placeAt(key, target);
    co_return true;
}

QCoro::Task<> Executor::place(ItemKey key, QString part, QString target, Version version)
{
    const ItemRecord record = row(key);
    const LocalFolder &folder = m_context.folder();
    LocalEntry entry = folder.inspect(target);
    const bool ours = m_at.value(target) == key;
    bool placed = false;
    if (!entry.exists()) {
        placed = folder.moveNoReplace(part, target);
        if (!placed)
            entry = folder.inspect(target); // appeared meanwhile: looked at below
    } else if (ours && entry.type == LocalEntry::Type::file && matchesBase(record.base, entry)) {
        folder.moveReplacing(part, target);
        placed = true;
    }
    if (!placed && entry.type == LocalEntry::Type::file && (!m_at.contains(target) || ours)) {
        // Not the file we left there: its content decides.
        QUrl file = QUrl::fromLocalFile(folder.absolute(target)); // named: see above
        const QString local = co_await ContentHasher::sha256(std::move(file), m_cancel);
        if (local == version.contentHash) {
            folder.removeFile(part); // already there, from a run that was cut short
            placed = true;
        } else if (ours && local == record.base.contentHash) {
            folder.moveReplacing(part, target); // only its date changed
            placed = true;
        }
    }
    if (!placed) {
        // Someone's work is there: kept beside under a conflict name, never overwritten.
        if (!vacate(target, key) || !folder.moveNoReplace(part, target))
            throw FileError(folder.absolute(target),
                            QStringLiteral("la place est prise par un autre élément"));
    }
    m_context.diskChanged();
    NIMBAL_CRASH_POINT("download.placed");
    const LocalEntry written = folder.inspect(target);
    ItemRecord done = record;
    done.base = baseOf(target, record.remote.parentID, written, version.contentHash,
                       version.uploaded);
    // The version the grant named is the service's newest: the row says so too.
    if (!version.contentHash.isEmpty() && version.contentHash != done.remote.contentHash) {
        done.remote.contentHash = version.contentHash;
        done.remote.size = version.size;
        done.remote.uploaded = version.uploaded;
    }
    this->record(done);
    placeAt(key, target);
}

} // namespace OrvelanNimbal::FileProvider
