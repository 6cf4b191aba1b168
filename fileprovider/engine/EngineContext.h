// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/DriveAPI.h"
#include "async/Clock.h"
#include "async/Wakeup.h"
#include "disk/LocalFolder.h"
#include "engine/Journal.h"
#include "sync/DomainSummary.h"
#include "transfer/ContentDownloads.h"
#include "transfer/TransferProgress.h"

#include <QSet>

#include <chrono>
#include <memory>
#include <optional>

namespace OrvelanNimbal::FileProvider {

// What a pass leaves for whoever runs the passes.
struct PassOutcome {
    int itemsLeft = 0; // items that wait for another try
    std::optional<std::chrono::milliseconds> retryIn; // when the first of them is due
    bool again = false;    // something changed under the pass: another one should follow now
    bool settling = false; // files still being written wait for their quiet period
    // What this pass looked at must be looked at again by the next one: something waits for
    // a moment rather than after a failure (the journal keeps those).
    bool revisit = false;

    // One more item waits `wait` before its next try.
    void postpone(std::chrono::milliseconds wait);
    // The same for an item whose failure the journal recorded.
    void waitAfterFailure(std::chrono::milliseconds wait);
    void merge(const PassOutcome &other);
};

struct EngineSettings {
    DriveAPI drive;
    std::shared_ptr<ContentDownloads> downloads;
    QString folder;   // the domain's folder
    QString folderID; // what its marker must say
    std::optional<QUrl> itemStoreFile;
    std::optional<QUrl> summaryFile;
    std::shared_ptr<Clock> clock;
    int parallelDownloads = 4;
    // A file is sent once nothing has written it for this long and nobody holds it open for
    // writing.
    std::chrono::milliseconds quietPeriod{1000};
};

// What the parts of the engine share for the life of a domain: its settings, folder and
// journal, the rows written since the last commit, the failures waiting for their next try, the
// reports, and the few states that outlive a pass (new content paused by a full drive, the files
// being sent). Passed by reference to each part; owned by SyncEngine.
class EngineContext {
public:
    EngineContext(EngineSettings settings, std::unique_ptr<Journal> journal);

    const EngineSettings &settings() const { return m_settings; }
    const DriveAPI &drive() const { return m_settings.drive; }
    Clock &clock() const { return *m_settings.clock; }
    const LocalFolder &folder() const { return m_folder; }
    Journal &journal() { return *m_journal; }
    DomainSummary &summary() { return m_summary; }
    TransferProgress &downloadProgress() { return m_downloadProgress; }
    TransferProgress &uploadProgress() { return m_uploadProgress; }

    // --- Rows: written together at the next commit ---
    void put(const ItemRecord &record);
    void forget(const ItemKey &key);
    void dropIntent(qint64 number);
    Journal::Batch &batch() { return m_batch; }
    // The items whose rows were put or forgotten since the last call: a step that changed a
    // row may leave the next one to its successor.
    QSet<ItemKey> takeTouched()
    {
        m_forgotten.clear();
        m_leftBeneath = false;
        return std::exchange(m_touched, {});
    }
    // Whether a folder left the disk since with rows beneath its place: a pass over part of
    // the folder may not have had them, and leaves them to the next.
    bool leftRowsBeneath() const { return m_leftBeneath; }
    // Whether the row was forgotten since (the journal may still have it, uncommitted).
    bool isForgotten(const ItemKey &key) const { return m_forgotten.contains(key); }
    // Something on disk changed: the next commit makes it durable before the rows saying so.
    void diskChanged() { m_diskTouched = true; }
    // Writes the rows down, what they say of the disk made durable first, off the main thread
    // so that transfers go on meanwhile. Rows put during the wait belong to the next commit;
    // commits follow one another in order.
    QCoro::Task<> commit();
    // What is on disk and the rows that say so are written down at most this far apart; a
    // commit under way already is enough.
    QCoro::Task<> commitIfDue();
    // The same as commit, waiting here: only for an engine that stops.
    void commitNow();

    // --- Failures, per item, with their waits ---
    void loadFailures();
    // Whether `subject` still waits after a failure while it looks as `fingerprint` does;
    // then `outcome` learns of it.
    bool isWaiting(const QString &subject, const QString &fingerprint, PassOutcome &outcome);
    // Records the failure of `what` (French, for the log) and when to try again.
    void failed(const QString &subject, const QString &fingerprint, const QString &what,
                const std::exception &error, PassOutcome &outcome);
    void succeeded(const QString &subject);
    std::optional<Failure> failure(const QString &subject) const;

    // --- New content paused by a full drive; renames, moves and trashing go on ---
    bool newContentPaused(PassOutcome &outcome) const;
    void pauseNewContent(const QString &path);

    // --- Files being sent now, for the item's status ---
    QSet<QString> &sending() { return m_sending; }
    // Files closed by their writers since they were last looked at: no quiet wait for them.
    QSet<QString> &closedAfterWriting() { return m_closedAfterWriting; }
    // Removals a complete listing implied, held back until the next one says the same.
    QSet<ItemKey> &heldRemovals() { return m_heldRemovals; }

    // Moves what is at `path` beside it under a conflict name (shortened to fit the disk's 255
    // bytes, never a second suffix), recorded in the summary; gives the copy's path. The
    // original name is the one the user knows: it is `path`'s unless given.
    QString keepAside(const QString &path, const QString &originalName = {});
    // The conflict name for `name` now, for a name clash on a folder that folds names.
    QString conflictName(const QString &name) const;
    // The same at `when`, from any thread.
    static QString conflictNameAt(const QString &name, const QDateTime &when);

    qint64 nowMs() const { return clock().currentDateTime().toMSecsSinceEpoch(); }

    // The summary and the item store, rewritten when something changed since: both after a
    // pass over `everyRow`, the summary alone after one over part of the folder.
    void reportsChanged() { m_reportsStale = true; }
    QCoro::Task<> writeReports(bool everyRow);
    // The item store, when passes over part of the folder left it behind.
    QCoro::Task<> writeItemStore();

private:
    QCoro::Task<> exportItems(ItemTable items);
    // The rows beneath the place `folder` had on disk, as the journal last had them, are
    // touched.
    void touchBeneath(const ItemKey &folder);

    EngineSettings m_settings;
    LocalFolder m_folder;
    std::unique_ptr<Journal> m_journal;
    DomainSummary m_summary;
    TransferProgress m_downloadProgress;
    TransferProgress m_uploadProgress;
    Journal::Batch m_batch;
    QSet<ItemKey> m_touched;
    QSet<ItemKey> m_forgotten;
    bool m_leftBeneath = false;
    bool m_diskTouched = false;
    bool m_committing = false;
    std::vector<std::shared_ptr<Wakeup>> m_commitWaiters;
    bool m_reportsStale = true;
    bool m_itemStoreStale = true;
    std::chrono::nanoseconds m_lastCommit{};
    QHash<QString, Failure> m_failures;
    std::chrono::nanoseconds m_quotaPausedUntil{};
    QSet<QString> m_sending;
    QSet<QString> m_closedAfterWriting;
    QSet<ItemKey> m_heldRemovals;
};

} // namespace OrvelanNimbal::FileProvider
