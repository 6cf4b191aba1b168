// SPDX-License-Identifier: GPL-3.0-or-later
// A pass of the engine: reading the service into the journal, then the reports it leaves.
#include "engine/SyncEngine.h"

#include "Logging.h"
#include "config/PlatformWords.h"
#include "async/OffMainThread.h"
#include "engine/ItemStoreExport.h"
#include "engine/LocalChanges_p.h"
#include "engine/PlanExecutor_p.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"
#include "sync/SyncNaming.h"

#include <QSet>
#include <QTimeZone>

namespace OrvelanNimbal::FileProvider {

namespace {

// Rows written in one transaction at most, so that a long pass commits as it goes.
constexpr qsizetype batchLimit = 1000;

} // namespace

SyncEngine::SyncEngine(Settings settings, std::unique_ptr<Journal> journal,
                       Journal::Contents contents)
    : m_settings(std::move(settings))
    , m_folder(m_settings.folder)
    , m_journal(std::move(journal))
{
    m_items = std::move(contents.items);
    m_cursor = contents.cursor;
    m_summary = DomainSummary::load(m_settings.summaryFile).value_or(DomainSummary());
}

SyncEngine::~SyncEngine()
{
    // A pass cut short (the domain stopped or removed) keeps what it did.
    try {
        commit();
    } catch (const std::exception &error) {
        qCWarning(logExtension) << error.what();
    }
}

void SyncEngine::requireFolder() const
{
    if (m_folder.readMarker() != m_settings.folderID)
        throw FolderUnavailable(
            QStringLiteral("Le dossier « %1 » est introuvable ou n'est plus celui du Nimbal : "
                           "synchronisation suspendue, rien n'est supprimé.")
                .arg(m_folder.root()));
}

QCoro::Task<SyncEngine::PassOutcome> SyncEngine::runPass(CancellationToken cancel)
{
    requireFolder();
    m_readEverything = !m_cursor;
    if (m_cursor)
        co_await readChanges(cancel);
    else
        co_await readEverything(cancel);
    requireFolder(); // it may have gone while the service answered
    // The user's changes go first: the plan then sees the service's side as they left it, and
    // where both sides changed it keeps the user's bytes beside the service's version.
    auto scanFolder = [root = m_folder.root()] { return LocalScan::of(root); };
    LocalScan scan = co_await runOffMainThread(std::move(scanFolder));
    requireFolder(); // an unmounted folder reads as empty: that is no deletion
    // Named: GCC 12 ends a temporary of a co_await expression before the wait is over.
    LocalChanges changes(*this, std::move(scan), cancel);
    const PassOutcome sent = co_await changes.send();
    PassOutcome outcome = co_await converge(cancel);
    outcome.itemsLeft += sent.itemsLeft;
    outcome.again = outcome.again || sent.again;
    outcome.settling = sent.settling;
    if (sent.retryIn)
        outcome.retryIn = std::min(outcome.retryIn.value_or(*sent.retryIn), *sent.retryIn);
    writeReports();
    co_return outcome;
}

QCoro::Task<> SyncEngine::readChanges(CancellationToken cancel)
{
    bool expired = false;
    try {
        const DriveChanges page = co_await m_settings.drive.changes(*m_cursor, cancel);
        applyListing(page.folders, page.files, page.cursor, false);
    } catch (const DriveError &error) {
        if (error.kind() != DriveError::Kind::cursorExpired)
            throw;
        expired = true;
    }
    if (expired) {
        qCInfo(logExtension) << "Curseur des changements expiré : relecture complète du Nimbal.";
        m_readEverything = true;
        co_await readEverything(cancel);
    }
}

QCoro::Task<> SyncEngine::readEverything(CancellationToken cancel)
{
    // From the start of the feed, when the service still has it: the whole drive and a cursor
    // in one answer. Otherwise the tree, folder by folder, and no cursor until the feed has one.
    std::optional<DriveChanges> everything;
    try {
        everything = co_await m_settings.drive.changes(0, cancel);
    } catch (const DriveError &error) {
        if (error.kind() != DriveError::Kind::cursorExpired)
            throw;
    }
    if (everything) {
        applyListing(everything->folders, everything->files, everything->cursor, true);
        co_return;
    }
    const auto [folders, files] = co_await walkTree(cancel);
    applyListing(folders, files, std::nullopt, true);
}

QCoro::Task<std::pair<std::vector<DriveFolder>, std::vector<DriveFile>>>
SyncEngine::walkTree(CancellationToken cancel)
{
    // Any failure ends the walk with nothing applied: a partial tree removes nothing.
    std::vector<DriveFolder> folders;
    std::vector<DriveFile> files;
    std::vector<std::optional<qint64>> pending{std::nullopt};
    while (!pending.empty()) {
        const std::optional<qint64> folder = pending.back();
        pending.pop_back();
        std::vector<DriveFolder> children = co_await m_settings.drive.folders(folder, cancel);
        std::vector<DriveFile> contents = co_await m_settings.drive.files(folder, cancel);
        for (DriveFolder &child : children) {
            pending.push_back(child.id);
            folders.push_back(std::move(child));
        }
        std::move(contents.begin(), contents.end(), std::back_inserter(files));
    }
    co_return std::pair{std::move(folders), std::move(files)};
}

void SyncEngine::applyListing(const std::vector<DriveFolder> &folders,
                              const std::vector<DriveFile> &files, std::optional<qint64> cursor,
                              bool complete)
{
    QSet<ItemKey> seen;
    const auto record = [&](const ItemKey &key, const RemoteState &state) {
        seen.insert(key);
        const auto found = m_items.constFind(key);
        if (found == m_items.cend() && !state.present)
            return; // trashed before we ever knew it
        ItemRecord changed = found == m_items.cend() ? ItemRecord{key, {}, {}, {}} : *found;
        if (found != m_items.cend() && changed.remote == state)
            return;
        changed.remote = state;
        put(changed);
    };
    for (const DriveFolder &folder : folders)
        record(ItemKey::folder(folder.id), remoteState(folder));
    for (const DriveFile &file : files)
        record(ItemKey::file(file.id), remoteState(file));

    if (complete) {
        std::vector<ItemKey> missing;
        qsizetype present = 0;
        for (const ItemRecord &item : std::as_const(m_items)) {
            if (!item.remote.present)
                continue;
            ++present;
            if (!seen.contains(item.key))
                missing.push_back(item.key);
        }
        const qsizetype live = present - qsizetype(missing.size());
        const bool mass = qsizetype(missing.size()) > massRemovalFloor
                          && double(missing.size()) > massRemovalShare * double(present);
        if (!missing.empty() && (live == 0 || mass)) {
            qCWarning(logExtension).noquote()
                << QStringLiteral("Liste complète du Nimbal sans %1 des %2 éléments connus : "
                                  "suppressions retenues, rien n'est retiré du disque.")
                       .arg(missing.size())
                       .arg(present);
        } else {
            for (const ItemKey &key : missing) {
                ItemRecord gone = m_items[key];
                gone.remote.present = false;
                put(gone);
            }
        }
    }
    m_cursor = cursor;
    m_batch.setCursor(cursor);
    commit();
}

void SyncEngine::put(const ItemRecord &record)
{
    m_items.insert(record.key, record);
    m_batch.put(record);
    m_reportsStale = true;
    if (m_batch.size() >= batchLimit)
        commit();
}

void SyncEngine::forget(const ItemKey &key)
{
    m_items.remove(key);
    m_retries.remove(key);
    m_batch.remove(key);
    m_reportsStale = true;
    if (m_batch.size() >= batchLimit)
        commit();
}

void SyncEngine::commit()
{
    if (m_batch.isEmpty())
        return;
    // What the rows say was written must be on the disk before the rows are; rows that only
    // record what the service said need no such wait.
    if (m_diskTouched)
        m_folder.syncFileSystem();
    m_diskTouched = false;
    m_journal->commit(m_batch);
    m_batch = {};
}

void SyncEngine::writeReports()
{
    if (!m_reportsStale)
        return;
    // Files archived now, and files that were and no longer are, so that the set is exact.
    std::vector<DriveFile> files;
    for (const ItemRecord &record : std::as_const(m_items)) {
        if (record.key.isFolder())
            continue;
        const bool archived =
            record.remote.present && !isSynchronizable(record.remote.storageClass);
        if (!archived && !m_summary.archivedFileIDs.contains(record.key.id))
            continue;
        DriveFile file;
        file.id = record.key.id;
        file.isTrashed = !record.remote.present;
        file.storageClass = record.remote.storageClass;
        files.push_back(file);
    }
    const QSet<qint64> archived = m_summary.archivedFileIDs; // the loop removes from the set
    for (qint64 id : archived) {
        if (!m_items.contains(ItemKey::file(id)))
            m_summary.archivedFileIDs.remove(id);
    }
    m_summary.apply(files);
    m_summary.save(m_settings.summaryFile);
    writeItemStore(m_settings.itemStoreFile, m_items, m_cursor);
    m_reportsStale = false;
}

QCoro::Task<SyncEngine::PassOutcome> SyncEngine::converge(CancellationToken cancel)
{
    PlanExecutor executor(*this, planConvergence(m_items), std::move(cancel));
    co_return co_await executor.run();
}

QString SyncEngine::keepAside(const QString &path)
{
    const QString name = fileName(path);
    // A copy that conflicts again is named after the original: suffixes never pile up.
    const QString origin = SyncNaming::conflictCopyOrigin(name, PlatformWords::conflictSystem);
    const QDateTime now = m_settings.clock->currentDateTime();
    QString copy = SyncNaming::conflictCopyName(origin, now, QTimeZone::systemTimeZone(),
                                                PlatformWords::conflictSystem);
    for (int n = 2; !m_folder.moveNoReplace(path, childPath(parentPath(path), copy)); ++n) {
        if (n > 99)
            throw FileError(m_folder.absolute(path),
                            QStringLiteral("aucun nom libre pour garder ce fichier"));
        copy =
            SyncNaming::conflictCopyName(origin, now, QTimeZone::systemTimeZone(),
                                         PlatformWords::conflictSystem + u' ' + QString::number(n));
    }
    m_diskTouched = true;
    m_summary.recordConflict(name, copy, now);
    m_reportsStale = true;
    qCInfo(logExtension).noquote()
        << QStringLiteral("Conflit : « %1 » gardé sous « %2 ».").arg(name, copy);
    return childPath(parentPath(path), copy);
}

void SyncEngine::failed(const ItemKey &key, const QString &what, const std::exception &error)
{
    // A table, so that the waits can be read and changed in one place.
    static constexpr std::chrono::seconds waits[] = {
        std::chrono::seconds(25), std::chrono::seconds(25), std::chrono::seconds(25),
        std::chrono::seconds(25), std::chrono::seconds(25), std::chrono::minutes(5),
        std::chrono::minutes(30), std::chrono::hours(2),    std::chrono::hours(24)};
    Retry &retry = m_retries[key];
    const auto wait = waits[std::min<qsizetype>(retry.attempts, std::size(waits) - 1)];
    ++retry.attempts;
    retry.notBefore = m_settings.clock->continuousNow() + wait;
    QString reason = QString::fromUtf8(error.what());
    if (const auto *driveError = dynamic_cast<const DriveError *>(&error))
        reason = debugName(*driveError) + QStringLiteral(" — ") + driveError->errorDescription();
    qCWarning(logExtension).noquote()
        << QStringLiteral("%1 de %2%3 impossible : %4 ; nouvel essai dans %5 s.")
               .arg(what, key.isFolder() ? QStringLiteral("d:") : QStringLiteral("f:"))
               .arg(key.id)
               .arg(reason)
               .arg(wait.count());
}

} // namespace OrvelanNimbal::FileProvider
