// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/DriveAPI.h"
#include "async/Clock.h"
#include "disk/LocalFolder.h"
#include "engine/Journal.h"
#include "engine/Planner.h"
#include "sync/DomainSummary.h"
#include "transfer/ContentDownloads.h"
#include "transfer/TransferProgress.h"

#include <chrono>
#include <exception>
#include <memory>
#include <optional>

namespace OrvelanNimbal::FileProvider {

class PlanExecutor;

// The domain's folder is not the one the journal belongs to (gone, unmounted, replaced): the
// engine touches nothing until it is back.
class FolderUnavailable : public std::exception {
public:
    explicit FolderUnavailable(QString message)
        : m_message(std::move(message))
        , m_what(m_message.toUtf8())
    {}
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    QByteArray m_what;
};

// Keeps one domain's folder equal to the drive, service to disk, one pass at a time. A pass reads
// what changed (the change feed from the journal's cursor, or everything when there is no cursor
// or the service forgot it), records it in the journal together with the cursor, then carries out
// the plan (Planner.h): folders made, items moved, contents downloaded, items removed.
//
// Every step is write-aside, then rename, then journal, and is safe to repeat: after a kill at
// any moment, the next pass finds the service's side of the journal as it was last committed and
// the disk's side never ahead of the disk, and completes what is left. A file found where a
// download should go is kept when it is not ours: its content is either the service's (recorded,
// not downloaded again) or moved beside under a conflict name (recorded in the summary).
//
// Nothing is removed from the disk but what the service trashed or a complete listing no longer
// has, and never a file changed on disk since it was synchronised.
class SyncEngine {
public:
    struct Settings {
        DriveAPI drive;
        std::shared_ptr<ContentDownloads> downloads;
        QString folder;   // the domain's folder
        QString folderID; // what its marker must say
        std::optional<QUrl> itemStoreFile;
        std::optional<QUrl> summaryFile;
        std::shared_ptr<Clock> clock;
        int parallelDownloads = 4;
        // A file is sent once nothing has written it for this long and nobody holds it open
        // for writing.
        std::chrono::milliseconds quietPeriod{1000};
    };

    struct PassOutcome {
        int itemsLeft = 0; // items that failed and wait for another try
        std::optional<std::chrono::milliseconds> retryIn; // when the first of them is due
        bool again = false;    // the disk changed under the pass: another one should follow now
        bool settling = false; // files still being written wait for their quiet period
    };

    // `contents` is what `journal` held when it was opened.
    SyncEngine(Settings settings, std::unique_ptr<Journal> journal, Journal::Contents contents);
    ~SyncEngine();

    // Throws FolderUnavailable, DriveError (the service could not be read: nothing changed on
    // disk), JournalError, or OperationCancelled.
    QCoro::Task<PassOutcome> runPass(CancellationToken cancel);

    TransferProgress &downloadProgress() { return m_downloadProgress; }
    TransferProgress &uploadProgress() { return m_uploadProgress; }
    const ItemTable &items() const { return m_items; }
    std::optional<qint64> cursor() const { return m_cursor; }

    // Mass removals held back: a complete listing would remove more than this share of the
    // items on disk (beyond the first few), which a failing service is likelier to cause than
    // a user. Those items stay until a listing confirms them.
    static constexpr qsizetype massRemovalFloor = 50;
    static constexpr double massRemovalShare = 0.3;

private:
    struct Retry {
        int attempts = 0;
        std::chrono::nanoseconds notBefore{};
    };
    friend class PlanExecutor;
    friend class LocalChanges;

    void requireFolder() const;
    QCoro::Task<> readChanges(CancellationToken cancel);
    QCoro::Task<> readEverything(CancellationToken cancel);
    // The drive's folders and files, folder by folder from the top.
    QCoro::Task<std::pair<std::vector<DriveFolder>, std::vector<DriveFile>>>
    walkTree(CancellationToken cancel);
    void applyListing(const std::vector<DriveFolder> &folders, const std::vector<DriveFile> &files,
                      std::optional<qint64> cursor, bool complete);
    QCoro::Task<PassOutcome> converge(CancellationToken cancel);
    void writeReports();

    void put(const ItemRecord &record);
    void forget(const ItemKey &key);
    void commit();
    void failed(const ItemKey &key, const QString &what, const std::exception &error);
    // Moves what is at `path` beside it under a conflict name, recorded in the summary; gives
    // the copy's path.
    QString keepAside(const QString &path);

    Settings m_settings;
    LocalFolder m_folder;
    std::unique_ptr<Journal> m_journal;
    ItemTable m_items;
    std::optional<qint64> m_cursor;
    bool m_readEverything = false; // this pass read the whole drive, not the feed
    bool m_diskTouched = false;    // the disk changed since the last commit
    Journal::Batch m_batch;
    DomainSummary m_summary;
    bool m_reportsStale = true;
    QHash<ItemKey, Retry> m_retries;
    TransferProgress m_downloadProgress;
    TransferProgress m_uploadProgress;
    QHash<QString, std::chrono::nanoseconds> m_pathWaits; // new items the service refused
    std::chrono::nanoseconds m_quotaPausedUntil{};        // no new content before then
};

} // namespace OrvelanNimbal::FileProvider
