// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disk/LocalScan.h"
#include "engine/SyncEngine.h"

#include <QSet>

namespace OrvelanNimbal::FileProvider {

// Sends what the user changed in the folder since the last synchronised version, decided from
// the journal (the base), the disk as the scan saw it, and the service's side as the pass just
// read it. A side has changed only where it differs from the base:
//
//   disk changed, service not    → sent (a content with the base as its precondition)
//   both changed                 → left to the plan, which keeps the user's bytes beside
//   disk gone, service not       → trashed on the service
//   disk gone, service changed   → the service's version comes back
//   renamed or moved on disk     → renamed or moved on the service, by id; the service's own
//                                  rename wins when it made one
//   service trashed, disk edited → the file is sent again as new, its folders made anew
//
// New folders go first (parents before children), then moves, then contents, then trashing.
// What is not sent now (a file still being written, a refusal, a service that does not answer)
// is simply found again at the next pass: the difference between disk and journal is the
// queue, so a restart loses none of it and nothing is ever removed because a request failed.
class LocalChanges {
public:
    LocalChanges(SyncEngine &engine, LocalScan scan, CancellationToken cancel);

    // Throws DriveError when the service cannot be reached (nothing more is tried this pass),
    // OperationCancelled.
    QCoro::Task<SyncEngine::PassOutcome> send();

private:
    struct Upload {
        QString path;
        std::optional<ItemKey> key; // the row whose content is replaced; none for a new file
        LocalEntry entry;
    };

    void classify();
    void matchMoves();
    void releaseTrashedOnService();
    std::optional<std::optional<qint64>> parentID(const QString &path) const;
    QString pathOf(const ItemKey &key) const;
    void relocate(const ItemKey &key, const QString &path);
    void keepRelocation(const ItemKey &key);
    QCoro::Task<> createFolders();
    QCoro::Task<> sendMoves();
    QCoro::Task<> sendContents();
    QCoro::Task<> sendContent(Upload upload);
    QCoro::Task<> trashVanished();
    void keepAsConflictCopy(const ItemKey &key);
    bool isQuiet(const QString &path, const LocalEntry &entry);
    bool refused(const DriveError &error, const std::optional<ItemKey> &key, const QString &path);
    bool isWaiting(const ItemKey &key);
    bool isWaiting(const QString &path);
    void postpone(std::chrono::milliseconds wait);

    SyncEngine &m_engine;
    LocalScan m_scan;
    CancellationToken m_cancel;
    QHash<QString, ItemKey> m_owners;     // path on disk → the row that placed it
    QSet<QString> m_appeared;             // paths on disk no row owns yet
    std::vector<ItemKey> m_vanished;      // rows whose item is no longer at its place
    QHash<ItemKey, QString> m_paths;      // rows seen elsewhere, until the service has the move
    QHash<ItemKey, qint64> m_baseParents; // the parent each vanished row had in the journal
    std::vector<std::pair<ItemKey, QString>> m_moved; // rows found elsewhere, and where from
    std::vector<Upload> m_edited;                     // rows whose content changed on disk
    SyncEngine::PassOutcome m_outcome;
};

} // namespace OrvelanNimbal::FileProvider
