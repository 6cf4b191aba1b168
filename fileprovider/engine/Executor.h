// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/EngineContext.h"
#include "engine/LocalObservations.h"
#include "engine/Plan.h"
#include "errors/DriveError.h"
#include "transfer/GrantWindow.h"

#include <QCoro/QCoroTask>

#include <memory>

namespace OrvelanNimbal::FileProvider {

// Carries out a pass's plan, one action at a time, each on its own: before its effect an action
// checks again what it was decided on (the disk against the base, the service's version), and
// afterwards records its outcome; a failure is that item's alone, recorded with its wait, and
// the rest goes on in both directions. Steps of several effects write their intent first
// (Journal::record), so that a kill between two effects is finished at the next start.
//
// Order: what only the journal records; then the tree, shallowest place first, on both sides
// (folders made, items moved; a place held by an item about to leave is freed by parking that
// item under a name of ours); contents, several downloads and several uploads at once; removals
// last, deepest first on disk, and on the service after asking it what changed meanwhile.
class Executor {
public:
    Executor(EngineContext &context, ItemTable rows, const LocalObservations &observed, Plan plan,
             CancellationToken cancel);

    QCoro::Task<PassOutcome> run();

private:
    struct Version {
        qint64 size = 0;
        QString contentHash;
        qint64 uploaded = 0;
    };

    // --- Where things are on disk during the pass ---
    std::optional<QString> whereIs(const ItemKey &key) const;
    void placeAt(const ItemKey &key, const QString &path);
    void leftDisk(const ItemKey &key);
    // The path a target names now, from where its parent is at this moment.
    std::optional<QString> pathOf(const Target &target) const;
    // Where something of the disk only is now: its folder may have moved since the scan.
    QString currentPath(const Action &action) const;
    // The service's id of a target's parent (0 for the top); nothing while it has none yet.
    std::optional<qint64> parentIDOf(const Target &target) const;
    ItemRecord &row(const ItemKey &key) { return m_rows[key]; }
    // The base of an item at `path` under `parentID`, as `entry` found it there; for a file,
    // its content and the service's version of it.
    static BaseState baseOf(const QString &path, qint64 parentID, const LocalEntry &entry,
                            const QString &hash = {}, qint64 uploaded = 0);
    QString fingerprint(const ItemKey &key) const;
    QString fingerprint(const QString &path) const;
    // Writes the row; a folder whose place on disk changed takes the bases beneath it along.
    void record(const ItemRecord &record);
    // Everything whose base lies beneath `from` moved with it to `to`, whatever the scan saw of
    // it (a link in its place, an unreadable folder, an item deleted since): no row is left at
    // a place that no longer exists, where no pass over part of the folder would look.
    void rebaseBeneath(const QString &from, const QString &to);

    // --- Running actions on their own ---
    bool isWaiting(const Action &action);
    // Runs one action; an item's failure is recorded for it with its wait and the pass goes
    // on. What ends the pass (cancelled, no session, the journal) goes through.
    QCoro::Task<> perform(Action action);
    QCoro::Task<> dispatch(Action action);
    void failed(const Action &action, const std::exception &error);

    // --- The journal only ---
    void recordOnly(const Action &action);

    // --- The tree (Executor_tree.cpp) ---
    void makeHere(const Action &action);
    void moveHere(const Action &action);
    bool vacate(const QString &path, const ItemKey &forKey);
    void park(const ItemKey &key);
    QCoro::Task<> createThere(Action action);
    QCoro::Task<> moveThere(Action action);
    // One request of a move there: the refusal when the name is taken or the item gone.
    QCoro::Task<std::optional<DriveError>> sendMove(ItemKey key, std::optional<QString> name,
                                                    std::optional<std::optional<qint64>> parent);
    void movedThere(const ItemKey &key, qint64 parent, const QString &name,
                    const QString &basePath);
    // Whether another item the service has is named `name` under `parent`.
    bool isHeldThere(qint64 parent, const QString &name, const ItemKey &except);

    // --- Contents (Executor_downloads.cpp, Executor_uploads.cpp) ---
    // Runs `actions` in the plan's order on `width` workers sharing one queue, each calling
    // `afterEach` after every action. What ends the pass ends every worker's queue, and is
    // passed on once they are all done.
    QCoro::Task<> runTogether(std::vector<Action> actions, int width,
                              QCoro::Task<> (Executor::*afterEach)());
    QCoro::Task<> downloadAll(std::vector<Action> downloads);
    QCoro::Task<> afterDownload();
    // Fetches the content beside its place; the batch of written ones takes it in later.
    QCoro::Task<> download(Action action);
    bool isBatchDue() const;
    // The written downloads synced to disk at once, renamed into place, recorded together.
    QCoro::Task<> placeWritten();
    // The item's grant: asked for ahead when downloadAll queued it, now otherwise.
    QCoro::Task<DriveDownload> grantFor(ItemKey key, RemoteState remote);
    QCoro::Task<bool> isAlreadyThere(ItemKey key, QString target);
    QCoro::Task<> place(ItemKey key, QString part, QString target, Version version);
    // The contents to send or compare, several files at a time, each on record once sent.
    QCoro::Task<> sendAll(std::vector<Action> contents);
    QCoro::Task<> afterSending();
    QCoro::Task<> upload(Action action);
    QCoro::Task<> uploadNew(Action action);
    QCoro::Task<> compare(Action action);
    void keepAside(const Action &action);
    // Whether the file at `path` has settled: written long enough ago, not open for writing,
    // unchanged over the hashing. Gives its hash (empty without `hash`: left to the upload)
    // and what it looked like, or nothing yet.
    QCoro::Task<std::optional<std::pair<QString, LocalEntry>>> settledContent(QString path,
                                                                              bool hash = true);
    DriveAPI::LocalContent contentOf(const QString &path, const LocalEntry &entry,
                                     const QString &hash, const ItemKey &key);
    QCoro::Task<> sendContent(Action action, QString path, QString hash, LocalEntry entry,
                              ReplacePrecondition precondition);
    // A version conflict on an upload: the service's version is read once, then decided (the
    // same bytes recorded, a conflict copy made); gives the precondition to send once more with
    // when only the version moved over the same bytes.
    QCoro::Task<std::optional<ReplacePrecondition>>
    afterVersionConflict(Action action, QString path, QString hash, LocalEntry entry);
    void recordSent(const ItemKey &key, const QString &path, const LocalEntry &entry,
                    const QString &hash, const DriveFile &sent);
    QCoro::Task<> conflict(ItemKey key, QString path);

    // --- Removals (Executor_removals.cpp) ---
    void removeHere(const Action &action);
    QCoro::Task<> trashAll(std::vector<Action> trashes);
    // The trashes whose items the service still has as decided; the others wait a pass.
    QCoro::Task<std::vector<Action>> stillAsDecided(std::vector<Action> trashes);
    QCoro::Task<std::vector<Action>> stillThereOneByOne(std::vector<Action> trashes);

    EngineContext &m_context;
    ItemTable m_rows;
    Plan m_plan;
    CancellationToken m_cancel;
    PassOutcome m_outcome;
    QHash<ItemKey, QString> m_where;   // where each item is on disk now
    QHash<ItemKey, quint64> m_inodes;  // and the inode the scan saw there
    QHash<QString, ItemKey> m_at;      // and what each path holds
    QHash<QString, ItemKey> m_created; // folders made on the service this pass, by path
    QSet<ItemKey> m_movingHere;        // items still to be moved on disk this pass
    QSet<ItemKey> m_removingHere;      // items still to be removed from disk this pass
    QHash<ItemKey, qint64> m_parkIntents;  // parked items and the intent that says where from
    QHash<QString, qint64> m_uploadIntents; // uploads in parts under way, by path
    struct Written {
        Action action;
        QString part;   // where its content waits
        QString target; // where it goes
        Version version;
        qint64 intent = 0;
    };
    std::vector<Written> m_written; // downloads waiting to be placed, in the order they ended
    std::chrono::nanoseconds m_writtenSince{};
    bool m_placing = false;
    std::unique_ptr<GrantWindow> m_grants; // the downloads' grants, asked for ahead
    QHash<ItemKey, qsizetype> m_grantIndex; // and where each download is in it
    std::vector<Action> m_deferredMoves;   // refused for a name another item gives up later
    QSet<ItemKey> m_deferredOnce;
};

} // namespace OrvelanNimbal::FileProvider
