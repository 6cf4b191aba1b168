// SPDX-License-Identifier: GPL-3.0-or-later
// The plan's uploads, and the comparisons that end in a record or a conflict copy.
#include "Logging.h"
#include "engine/CrashPoints.h"
#include "engine/Executor.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"
#include "sync/ContentHasher.h"

#include <QMimeDatabase>

namespace OrvelanNimbal::FileProvider {

namespace {

bool sameSnapshot(const LocalEntry &a, const LocalEntry &b)
{
    return a.type == b.type && a.size == b.size && a.mtimeNs == b.mtimeNs && a.inode == b.inode;
}

DriveFile fileOf(const ItemRecord &record)
{
    DriveFile file;
    file.id = record.key.id;
    file.name = record.remote.name;
    if (record.remote.parentID > 0)
        file.parentFolderID = record.remote.parentID;
    file.size = record.remote.size;
    if (!record.remote.contentHash.isEmpty())
        file.contentHash = record.remote.contentHash;
    if (record.remote.uploaded > 0)
        file.uploadTimestamp = record.remote.uploaded;
    file.storageClass = record.remote.storageClass;
    return file;
}

} // namespace

QCoro::Task<std::optional<std::pair<QString, LocalEntry>>> Executor::settledContent(QString path,
                                                                                  bool hash)
{
    const LocalFolder &folder = m_context.folder();
    const LocalEntry entry = folder.inspect(path);
    if (entry.type != LocalEntry::Type::file) {
        m_outcome.again = true; // gone or moved meanwhile: the next pass sees where
        co_return std::nullopt;
    }
    // Written within the quiet period, or still open for writing: it goes once it settles. A
    // file its writer closed since needs no wait, only nobody writing it now.
    const auto quiet = m_context.settings().quietPeriod;
    const qint64 ageMs = m_context.nowMs() - entry.mtimeNs / 1000000;
    const bool closed = m_context.closedAfterWriting().contains(path);
    if (!closed && ageMs < quiet.count()) {
        m_outcome.settling = true;
        m_outcome.postpone(quiet - std::chrono::milliseconds(std::max<qint64>(ageMs, 0)));
        co_return std::nullopt;
    }
    if (folder.isOpenForWriting(path)) {
        m_outcome.settling = true;
        m_outcome.postpone(quiet);
        co_return std::nullopt;
    }
    m_context.closedAfterWriting().remove(path);
    if (!hash)
        co_return std::pair{QString(), entry};
    // Named: GCC 12 ends the temporaries of a co_await expression twice.
    QUrl file = QUrl::fromLocalFile(folder.absolute(path));
    const QString digest = co_await ContentHasher::sha256(std::move(file), m_cancel);
    // Read whole and unchanged meanwhile, or it waits for the next pass.
    const LocalEntry after = folder.inspect(path);
    if (!sameSnapshot(after, entry)) {
        m_outcome.settling = true;
        m_outcome.postpone(quiet);
        co_return std::nullopt;
    }
    co_return std::pair{digest, after};
}

DriveAPI::LocalContent Executor::contentOf(const QString &path, const LocalEntry &entry,
                                           const QString &hash, const ItemKey &key)
{
    DriveAPI::LocalContent content;
    content.url = QUrl::fromLocalFile(m_context.folder().absolute(path));
    content.size = entry.size;
    content.contentHash = hash;
    content.contentType = QMimeDatabase()
                              .mimeTypeForFile(fileName(path), QMimeDatabase::MatchExtension)
                              .name();
    // An upload in parts is written down before its first part: a kill leaves it to be
    // abandoned at the next start.
    content.onPartsOpened = [this, path, key](const QString &uploadID, const QString &storage) {
        Intent intent;
        intent.kind = Intent::Kind::upload;
        intent.key = key;
        intent.path = path;
        intent.uploadID = uploadID;
        intent.storageKey = storage;
        m_uploadIntents.insert(path, m_context.journal().record(intent));
        NIMBAL_CRASH_POINT("upload.opened");
    };
    return content;
}

QCoro::Task<> Executor::upload(Action action)
{
    const ItemKey key = action.key;
    const std::optional<QString> where = whereIs(key);
    if (!where || m_context.newContentPaused(m_outcome))
        co_return;
    const QString &path = *where;
    const auto settled = co_await settledContent(path);
    if (!settled)
        co_return;
    const QString hash = settled->first;
    const LocalEntry entry = settled->second;
    ItemRecord record = row(key);
    if (hash == record.base.contentHash) {
        // Touched, not changed: only what the disk says of it moves on.
        record.base = baseOf(path, record.base.parentID, entry, hash, record.base.uploaded);
        this->record(record);
        m_context.succeeded(key.text());
        co_return;
    }
    if (!isSynchronizable(record.remote.storageClass)) {
        keepAside(action);
        co_return;
    }
    // The version the edit was made on: the base's, or the service's newer one of the same
    // bytes (saved again elsewhere).
    ReplacePrecondition precondition;
    const bool sameBytes = !remoteContentChanged(record.remote, record.base);
    const QString knownHash = sameBytes ? record.remote.contentHash : record.base.contentHash;
    const qint64 knownUpload = sameBytes ? record.remote.uploaded : record.base.uploaded;
    if (!knownHash.isEmpty())
        precondition.ifContentHash = knownHash;
    if (knownUpload > 0)
        precondition.ifDateUpload = knownUpload;
    co_await sendContent(action, path, hash, entry, precondition);
}

QCoro::Task<> Executor::sendContent(Action action, QString path, QString hash, LocalEntry entry,
                                    ReplacePrecondition precondition)
{
    const ItemKey key = action.key;
    TransferProgress &progress = m_context.uploadProgress();
    m_context.sending().insert(path);
    const auto finished = qScopeGuard([&] {
        m_context.sending().remove(path);
        progress.finish();
    });
    // Sent once, and once more when the service's version moved over the same bytes.
    for (bool again = false;; again = true) {
        progress.add(entry.size);
        qint64 counted = 0;
        DriveAPI::Progress onProgress = [&progress, &counted](qint64 sent) {
            if (sent > counted) {
                progress.advance(sent - counted);
                counted = sent;
            }
        };
        std::optional<DriveFile> sent;
        std::optional<DriveError> refusal;
        DriveFile file = fileOf(row(key));
        DriveAPI::LocalContent content = contentOf(path, entry, hash, key);
        try {
            sent = co_await m_context.drive().replaceContent(std::move(file), std::move(content),
                                                             precondition, onProgress, m_cancel);
        } catch (const DriveError &error) {
            refusal = error;
        }
        progress.drop(entry.size - counted);
        if (const auto intent = m_uploadIntents.constFind(path); intent != m_uploadIntents.cend()) {
            m_context.dropIntent(*intent); // finished or abandoned either way
            m_uploadIntents.erase(intent);
        }
        if (sent) {
            NIMBAL_CRASH_POINT("upload.sent");
            recordSent(key, path, entry, hash, *sent);
            co_return;
        }
        switch (refusal->kind()) {
        case DriveError::Kind::versionConflict: {
            const std::optional<ReplacePrecondition> newer =
                co_await afterVersionConflict(action, path, hash, entry);
            if (!newer || again)
                co_return;
            precondition = *newer;
            continue;
        }
        case DriveError::Kind::reinforced:
        case DriveError::Kind::archived:
            // The service keeps its version under the name; the edit is kept beside and goes
            // up as a new file.
            keepAside(action);
            co_return;
        case DriveError::Kind::insufficientQuota:
            m_context.pauseNewContent(path);
            break;
        default:
            break;
        }
        throw *refusal;
    }
}

QCoro::Task<std::optional<ReplacePrecondition>>
Executor::afterVersionConflict(Action action, QString path, QString hash, LocalEntry entry)
{
    // Another version got there first: it is read once, and decides.
    const ItemKey key = action.key;
    std::optional<DriveDownload> grant;
    std::optional<DriveError> unreadable;
    DriveFile file = fileOf(row(key));
    try {
        grant = co_await m_context.drive().contentURL(std::move(file), m_cancel);
    } catch (const DriveError &error) {
        unreadable = error;
    }
    if (unreadable) {
        if (unreadable->kind() == DriveError::Kind::archived) {
            keepAside(action);
            co_return std::nullopt;
        }
        if (unreadable->kind() != DriveError::Kind::notFound)
            throw *unreadable;
        m_outcome.again = true; // trashed there: the next pass sends it again as new
        co_return std::nullopt;
    }
    ItemRecord record = row(key);
    record.remote.size = grant->fileSize.value_or(record.remote.size);
    if (grant->contentHash)
        record.remote.contentHash = *grant->contentHash;
    if (grant->uploadTimestamp)
        record.remote.uploaded = *grant->uploadTimestamp;
    this->record(record);
    if (record.remote.contentHash == hash) {
        // The same bytes are there already: recorded.
        recordSent(key, path, entry, hash, fileOf(record));
        co_return std::nullopt;
    }
    if (!remoteContentChanged(record.remote, record.base)) {
        // Only its version moved (the same bytes saved again elsewhere): sent once more,
        // against that version.
        ReplacePrecondition newer;
        if (!record.remote.contentHash.isEmpty())
            newer.ifContentHash = record.remote.contentHash;
        if (record.remote.uploaded > 0)
            newer.ifDateUpload = record.remote.uploaded;
        co_return newer;
    }
    co_await conflict(key, path);
    co_return std::nullopt;
}

void Executor::recordSent(const ItemKey &key, const QString &path, const LocalEntry &entry,
                          const QString &hash, const DriveFile &sent)
{
    ItemRecord record = row(key);
    const qint64 parent = record.remote.parentID;
    record.remote = remoteState(sent);
    record.remote.parentID = parent;
    record.base = baseOf(path, parent, entry, hash, record.remote.uploaded);
    this->record(record);
    placeAt(key, path);
    m_context.succeeded(key.text());
}

QCoro::Task<> Executor::uploadNew(Action action)
{
    const QString path = currentPath(action);
    if (m_at.contains(path) || m_context.newContentPaused(m_outcome))
        co_return;
    const std::optional<qint64> parent = parentIDOf(action.target);
    if (!parent) {
        m_outcome.postpone(m_context.settings().quietPeriod); // its folder is not there yet
        co_return;
    }
    // A new file sent in parts is hashed from its parts as they go: read once. Nothing to
    // compare it with beforehand, and a change while it is read shows after.
    const bool hashWhileSending =
        m_context.folder().inspect(path).size > DriveAPI::directUploadLimit;
    const auto settled = co_await settledContent(path, !hashWhileSending);
    if (!settled)
        co_return;
    QString hash = settled->first;
    const LocalEntry entry = settled->second;
    TransferProgress &progress = m_context.uploadProgress();
    progress.add(entry.size);
    qint64 counted = 0;
    DriveAPI::Progress onProgress = [&progress, &counted](qint64 sent) {
        if (sent > counted) {
            progress.advance(sent - counted);
            counted = sent;
        }
    };
    m_context.sending().insert(path);
    const auto finished = qScopeGuard([&] {
        m_context.sending().remove(path);
        progress.drop(entry.size - counted);
        progress.finish();
    });
    std::optional<qint64> parentID;
    if (*parent > 0)
        parentID = *parent;
    std::optional<DriveFile> sent;
    std::exception_ptr failure;
    DriveAPI::LocalContent content = contentOf(path, entry, hash, ItemKey{});
    try {
        sent = co_await m_context.drive().createFile(action.target.name, parentID,
                                                     std::move(content), onProgress, m_cancel);
    } catch (const DriveError &error) {
        if (error.kind() == DriveError::Kind::insufficientQuota)
            m_context.pauseNewContent(path);
        failure = std::current_exception();
    } catch (const FileError &) {
        failure = std::current_exception();
    }
    if (const auto intent = m_uploadIntents.constFind(path); intent != m_uploadIntents.cend()) {
        m_context.dropIntent(*intent);
        m_uploadIntents.erase(intent);
    }
    if (failure)
        std::rethrow_exception(failure);
    NIMBAL_CRASH_POINT("upload.sent");
    if (hash.isEmpty()) {
        hash = sent->contentHash.value_or(QString());
        // Changed while it was read: the base keeps what was seen before, so the next pass
        // finds the disk changed since and sends the newer content.
        if (!sameSnapshot(m_context.folder().inspect(path), entry))
            m_outcome.again = true;
    }
    ItemRecord record;
    record.key = ItemKey::file(sent->id);
    record.remote = remoteState(*sent);
    record.remote.parentID = *parent;
    record.base = baseOf(path, *parent, entry, hash, record.remote.uploaded);
    this->record(record);
    placeAt(record.key, path);
    m_context.succeeded(u"p:"_qs + path);
}

QCoro::Task<> Executor::compare(Action action)
{
    const ItemKey key = action.key;
    const QString path = action.path;
    const auto settled = co_await settledContent(path);
    if (!settled)
        co_return;
    const QString hash = settled->first;
    const LocalEntry entry = settled->second;
    const ItemRecord record = row(key);
    if (hash == record.remote.contentHash) {
        // The same bytes on both sides: equal content is never a conflict.
        ItemRecord same = record;
        same.base = baseOf(path, record.remote.parentID, entry, hash, record.remote.uploaded);
        this->record(same);
        placeAt(key, path);
        m_context.succeeded(key.text());
        co_return;
    }
    co_await conflict(key, path);
}

QCoro::Task<> Executor::conflict(ItemKey key, QString path)
{
    // Both sides differ from the base and from each other: the service's version keeps the
    // name, the bytes here are kept beside under a conflict name and go up as a new file.
    ItemRecord record = row(key);
    m_context.keepAside(path, record.remote.name);
    NIMBAL_CRASH_POINT("conflict.keptAside");
    record.base = {};
    this->record(record);
    leftDisk(key);
    m_outcome.again = true;
    Action fetch;
    fetch.kind = Action::Kind::download;
    fetch.key = key;
    fetch.path = path;
    co_await download(std::move(fetch));
    co_await placeWritten(); // or, when another worker is placing a batch, once sending ends
}

void Executor::keepAside(const Action &action)
{
    const QString path = action.path.isEmpty() ? whereIs(action.key).value_or(QString())
                                               : action.path;
    if (path.isEmpty() || !m_context.folder().inspect(path).exists())
        return;
    const auto known = m_rows.constFind(action.key);
    m_context.keepAside(path, known != m_rows.cend() ? known->remote.name : QString());
    if (known != m_rows.cend() && known->base.isOnDisk()) {
        ItemRecord record = *known;
        record.base = {};
        this->record(record);
        leftDisk(action.key);
    }
    m_outcome.again = true; // the copy goes up as a new file
}

} // namespace OrvelanNimbal::FileProvider
