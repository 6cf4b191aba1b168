// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/EngineContext.h"

#include "Logging.h"
#include "async/OffMainThread.h"
#include "config/PlatformWords.h"
#include "engine/ItemStoreExport.h"
#include "engine/RetryPolicy.h"
#include "errors/FileError.h"
#include "sync/SyncNaming.h"

#include <QTextBoundaryFinder>
#include <QTimeZone>

#include <malloc.h>

namespace OrvelanNimbal::FileProvider {

namespace {

// Rows written in one transaction at most, and the longest a row waits: a long pass commits as
// it goes.
constexpr qsizetype batchLimit = 1000;
constexpr std::chrono::seconds commitInterval(10);
// Beyond the quota, no new content is sent for this long (renames, moves and trashing go on).
constexpr std::chrono::minutes quotaPause(15);
constexpr qsizetype longestNameBytes = 255;

// `name` without as many whole characters from the end of `base` (the part before the conflict
// suffix) as it takes to fit in the disk's 255 bytes.
QString fitted(const QString &name, qsizetype suffixAt)
{
    QString base = name.first(suffixAt);
    const QString rest = name.sliced(suffixAt);
    const qsizetype restBytes = rest.toUtf8().size();
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, base);
    graphemes.toEnd();
    while (!base.isEmpty() && base.toUtf8().size() + restBytes > longestNameBytes) {
        const qsizetype previous = graphemes.toPreviousBoundary();
        base.truncate(std::max<qsizetype>(previous, 0));
    }
    return base + rest;
}

} // namespace

void PassOutcome::postpone(std::chrono::milliseconds wait)
{
    waitAfterFailure(wait);
    revisit = true;
}

void PassOutcome::waitAfterFailure(std::chrono::milliseconds wait)
{
    ++itemsLeft;
    wait = std::max(wait, std::chrono::milliseconds(0));
    retryIn = std::min(retryIn.value_or(wait), wait);
}

void PassOutcome::merge(const PassOutcome &other)
{
    itemsLeft += other.itemsLeft;
    again = again || other.again;
    settling = settling || other.settling;
    revisit = revisit || other.revisit;
    if (other.retryIn)
        retryIn = std::min(retryIn.value_or(*other.retryIn), *other.retryIn);
}

EngineContext::EngineContext(EngineSettings settings, std::unique_ptr<Journal> journal)
    : m_settings(std::move(settings))
    , m_folder(m_settings.folder)
    , m_journal(std::move(journal))
{
    m_summary = DomainSummary::load(m_settings.summaryFile).value_or(DomainSummary());
}

void EngineContext::put(const ItemRecord &record)
{
    if (record.key.isFolder() && !record.base.isOnDisk())
        touchBeneath(record.key);
    m_batch.put(record);
    m_touched.insert(record.key);
    m_forgotten.remove(record.key);
    m_reportsStale = true;
    if (record.key.isFolder())
        return;
    // The archived files are followed row by row, so that the summary never needs every row.
    DriveFile file;
    file.id = record.key.id;
    file.isTrashed = !record.remote.present;
    file.storageClass = record.remote.storageClass;
    m_summary.apply({file});
}

void EngineContext::forget(const ItemKey &key)
{
    if (key.isFolder())
        touchBeneath(key);
    m_batch.remove(key);
    m_touched.insert(key);
    m_forgotten.insert(key);
    succeeded(key.text());
    m_reportsStale = true;
    if (!key.isFolder())
        m_summary.archivedFileIDs.remove(key.id);
}

void EngineContext::touchBeneath(const ItemKey &folder)
{
    // A folder leaving the disk leaves the rows beneath its place with bases where nobody will
    // list again: the next pass looks at them (and, finding them nowhere it read, at everything).
    const std::optional<ItemRecord> known = m_journal->item(folder);
    if (!known || !known->base.isOnDisk())
        return;
    for (const ItemRecord &row : m_journal->itemsBeneath(known->base.path)) {
        m_touched.insert(row.key);
        m_leftBeneath = true;
    }
}

void EngineContext::dropIntent(qint64 number)
{
    m_batch.dropIntent(number);
}

QCoro::Task<> EngineContext::commit()
{
    while (m_committing) {
        auto turn = std::make_shared<Wakeup>();
        m_commitWaiters.push_back(turn);
        co_await turn->wait();
    }
    m_lastCommit = clock().continuousNow();
    if (m_batch.isEmpty())
        co_return;
    Journal::Batch batch = std::exchange(m_batch, {});
    const bool durable = std::exchange(m_diskTouched, false);
    m_committing = true;
    std::exception_ptr failure;
    try {
        // What the rows say was written must be on the disk before the rows are; rows that only
        // record what the service said need no such wait.
        if (durable) {
            auto sync = [folder = m_folder] {
                folder.syncFileSystem();
                return true;
            };
            co_await runOffMainThread(std::move(sync));
        }
        m_journal->commit(batch);
    } catch (...) {
        failure = std::current_exception();
        // Kept for the next commit, ahead of what came meanwhile.
        batch.append(std::move(m_batch));
        m_batch = std::move(batch);
        m_diskTouched = m_diskTouched || durable;
    }
    m_committing = false;
    for (const std::shared_ptr<Wakeup> &waiter : std::exchange(m_commitWaiters, {}))
        waiter->fire();
    if (failure)
        std::rethrow_exception(failure);
}

QCoro::Task<> EngineContext::commitIfDue()
{
    if (m_committing)
        co_return;
    if (m_batch.size() >= batchLimit || clock().continuousNow() - m_lastCommit >= commitInterval)
        co_await commit();
}

void EngineContext::commitNow()
{
    if (m_batch.isEmpty())
        return;
    if (std::exchange(m_diskTouched, false))
        m_folder.syncFileSystem();
    m_journal->commit(std::exchange(m_batch, {}));
}

void EngineContext::loadFailures()
{
    m_failures.clear();
    for (const Failure &failure : m_journal->failures())
        m_failures.insert(failure.subject, failure);
}

std::optional<Failure> EngineContext::failure(const QString &subject) const
{
    const auto found = m_failures.constFind(subject);
    if (found == m_failures.cend())
        return std::nullopt;
    return *found;
}

bool EngineContext::isWaiting(const QString &subject, const QString &fingerprint,
                              PassOutcome &outcome)
{
    const auto found = m_failures.constFind(subject);
    if (found == m_failures.cend() || found->fingerprint != fingerprint)
        return false;
    const qint64 left = found->nextTryMs - nowMs();
    if (left <= 0)
        return false;
    outcome.waitAfterFailure(std::chrono::milliseconds(left));
    return true;
}

void EngineContext::failed(const QString &subject, const QString &fingerprint,
                           const QString &what, const std::exception &error,
                           PassOutcome &outcome)
{
    Failure failure;
    failure.subject = subject;
    failure.kind = failureKind(error);
    failure.fingerprint = fingerprint;
    const auto previous = m_failures.constFind(subject);
    failure.attempts = previous != m_failures.cend() && previous->fingerprint == fingerprint
                           ? previous->attempts + 1
                           : 1;
    const std::chrono::seconds wait =
        waitAfter(failure.kind, failure.attempts, retryAfterOf(error));
    failure.nextTryMs = nowMs() + std::chrono::milliseconds(wait).count();
    failure.error = describeFailure(error);
    m_failures.insert(subject, failure);
    m_batch.putFailure(failure);
    outcome.waitAfterFailure(wait);
    qCWarning(logExtension).noquote()
        << QStringLiteral("%1 de « %2 » impossible : %3 ; nouvel essai dans %4 s.")
               .arg(what, subject, failure.error)
               .arg(wait.count());
}

void EngineContext::succeeded(const QString &subject)
{
    if (m_failures.remove(subject) > 0)
        m_batch.clearFailure(subject);
}

bool EngineContext::newContentPaused(PassOutcome &outcome) const
{
    const auto now = clock().continuousNow();
    if (m_quotaPausedUntil <= now)
        return false;
    outcome.postpone(std::chrono::duration_cast<std::chrono::milliseconds>(m_quotaPausedUntil - now));
    return true;
}

void EngineContext::pauseNewContent(const QString &path)
{
    const auto now = clock().continuousNow();
    if (m_quotaPausedUntil <= now)
        qCWarning(logExtension).noquote()
            << QStringLiteral("Espace du Nimbal plein (« %1 » refusé) : aucun nouveau contenu "
                              "n'est envoyé pendant %2 min ; les fichiers restent dans le "
                              "dossier.")
                   .arg(path)
                   .arg(quotaPause.count());
    m_quotaPausedUntil = now + quotaPause;
}

QString EngineContext::conflictName(const QString &name) const
{
    return conflictNameAt(name, clock().currentDateTime());
}

QString EngineContext::conflictNameAt(const QString &name, const QDateTime &when)
{
    // A copy that conflicts again is named after the original: suffixes never pile up.
    const QString origin = SyncNaming::conflictCopyOrigin(name, PlatformWords::conflictSystem);
    const QString copy = SyncNaming::conflictCopyName(origin, when, QTimeZone::systemTimeZone(),
                                                      PlatformWords::conflictSystem);
    return fitted(copy, copy.lastIndexOf(QStringLiteral(" (conflit ")));
}

QString EngineContext::keepAside(const QString &path, const QString &originalName)
{
    const QString name = fileName(path);
    const QString origin = SyncNaming::conflictCopyOrigin(name, PlatformWords::conflictSystem);
    const QDateTime now = clock().currentDateTime();
    QString copy;
    for (int n = 1;; ++n) {
        if (n > 99)
            throw FileError(m_folder.absolute(path),
                            QStringLiteral("aucun nom libre pour garder ce fichier"));
        // The second copy of a minute carries its number after the system's word.
        const QString system = n == 1 ? PlatformWords::conflictSystem
                                      : PlatformWords::conflictSystem + u' ' + QString::number(n);
        const QString named = SyncNaming::conflictCopyName(origin, now,
                                                           QTimeZone::systemTimeZone(), system);
        copy = fitted(named, named.lastIndexOf(QStringLiteral(" (conflit ")));
        if (m_folder.moveNoReplace(path, childPath(parentPath(path), copy)))
            break;
    }
    m_diskTouched = true;
    const QString original = originalName.isEmpty() ? name : originalName;
    m_summary.recordConflict(original, copy, now);
    m_reportsStale = true;
    qCInfo(logExtension).noquote()
        << QStringLiteral("Conflit : « %1 » gardé sous « %2 ».").arg(original, copy);
    return childPath(parentPath(path), copy);
}

QCoro::Task<> EngineContext::writeReports(bool everyRow)
{
    if (!m_reportsStale && !(everyRow && m_itemStoreStale))
        co_return;
    if (m_reportsStale)
        m_itemStoreStale = true;
    m_reportsStale = false;
    if (!everyRow) {
        // The summary follows the rows as they are put; the item store, an export of every
        // row, waits for a whole pass or a quiet moment (writeItemStore).
        m_summary.save(m_settings.summaryFile);
        co_return;
    }
    ItemTable items = m_journal->items();
    // Files archived now, and files that were and no longer are, so that the set is exact.
    std::vector<DriveFile> files;
    for (const ItemRecord &record : items) {
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
        if (!items.contains(ItemKey::file(id)))
            m_summary.archivedFileIDs.remove(id);
    }
    m_summary.apply(files);
    m_summary.save(m_settings.summaryFile);
    co_await exportItems(std::move(items));
}

QCoro::Task<> EngineContext::writeItemStore()
{
    if (!m_itemStoreStale)
        co_return;
    const QString journal = m_journal->file();
    if (journal.isEmpty()) {
        co_await exportItems(m_journal->items());
        co_return;
    }
    m_itemStoreStale = false;
    // Every row read by a connection of its own on the pool: the main thread goes on.
    auto write = [file = m_settings.itemStoreFile, journal] {
        try {
            Journal reader(journal);
            FileProvider::writeItemStore(file, reader.items(), reader.cursor());
            ::malloc_trim(0); // every row was held for the export: given back
        } catch (const JournalError &error) {
            qCWarning(logExtension).noquote() << error.message();
        }
        return true;
    };
    co_await runOffMainThread(std::move(write));
}

QCoro::Task<> EngineContext::exportItems(ItemTable items)
{
    m_itemStoreStale = false;
    // Made, sorted and flushed to disk on the pool: a large drive's takes a while.
    auto write = [file = m_settings.itemStoreFile, items = std::move(items),
                  cursor = m_journal->cursor()] {
        FileProvider::writeItemStore(file, items, cursor);
        return true;
    };
    co_await runOffMainThread(std::move(write));
}

} // namespace OrvelanNimbal::FileProvider
