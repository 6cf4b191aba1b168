// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disk/LocalScan.h"
#include "engine/EngineContext.h"
#include "engine/PassScope.h"
#include "engine/Plan.h"

#include <exception>
#include <memory>

namespace OrvelanNimbal::FileProvider {

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

// Keeps one domain's folder and the drive equal, one pass at a time. A pass finishes what a
// run cut short (IntentRecovery), reads what changed on the service into the journal
// (RemoteReader), scans the folder and finds what the user renamed (observe), decides every
// item's actions in both directions at once from the journal's base, the disk and the service
// (reconcile), then carries them out one by one (Executor).
//
// Every step is safe to repeat: after a kill at any moment, the next pass finds the journal as
// it was last committed (never ahead of the disk), the intents of steps under way, and
// completes what is left. Nothing is removed from either side but what the other side deleted
// and this one left alone; no file is ever overwritten: a version that would be is kept beside
// under a conflict name. One item's failure is that item's: it waits its turn (persisted, so a
// restart keeps the wait) while everything else goes on.
class SyncEngine {
public:
    using Settings = EngineSettings;
    using PassOutcome = FileProvider::PassOutcome;

    SyncEngine(Settings settings, std::unique_ptr<Journal> journal);
    ~SyncEngine();

    // Looks at `scope` of the folder, and at all of it whenever what lies outside is not known
    // to be as the journal says (the first pass, one after a fault, a complete read of the
    // service). Throws FolderUnavailable, DriveError (the service could not be read, or the
    // session is gone: nothing changed on disk), JournalError, or OperationCancelled.
    QCoro::Task<PassOutcome> runPass(PassScope scope, CancellationToken cancel);

    // The export of every row that passes over part of the folder leave for a quiet moment.
    QCoro::Task<> writeItemStore() { return m_context.writeItemStore(); }

    TransferProgress &downloadProgress() { return m_context.downloadProgress(); }
    TransferProgress &uploadProgress() { return m_context.uploadProgress(); }
    // The files being sent now, by path in the domain's folder: what a path's status reads
    // beside the journal.
    QSet<QString> sendingPaths() { return m_context.sending(); }
    // A file of the folder (relative path) its writer closed: sent without the quiet wait.
    void closedAfterWriting(const QString &path) { m_context.closedAfterWriting().insert(path); }

private:
    // The rows and the disk a pass decides from.
    struct Gathered {
        ItemTable rows;
        LocalScan scan;
        qsizetype placedElsewhere = 0;
        bool whole = true;
        QSet<ItemKey> concerned; // of a part: the items it was asked about, and those waiting
    };
    // What a pass looked at that its successor looks at again.
    struct Carried {
        PassScope scope = PassScope::changedIn({});
        QSet<ItemKey> items;
        // Items found away from their base's place (moved here, not recorded yet): where.
        QHash<ItemKey, QString> seenAt;
        // Folders this pass changed (made, moved, placed, let go): what the service has in
        // them may now be placed, or placed elsewhere.
        QSet<ItemKey> changedFolders;
    };

    void requireFolder() const;
    QCoro::Task<PassOutcome> pass(PassScope scope, CancellationToken cancel);
    // Takes out of a partial pass's plan the deletions the previous pass did not find too;
    // true when some wait for that.
    bool holdUnconfirmedDeletions(Plan &plan);
    QCoro::Task<Gathered> gatherWhole();
    // `concerned` (the items the feed changed) gains what waits after a failure or was held
    // back. Gives the whole folder when the part cannot explain what it finds.
    QCoro::Task<Gathered> gatherPart(PassScope scope, QSet<ItemKey> concerned,
                                     QSet<ItemKey> foldersMoved);

    EngineContext m_context;
    bool m_probed = false;
    bool m_foldsNames = false;
    bool m_killed = false; // a test killed it: nothing more is written, as after SIGKILL
    bool m_wholeKnown = false; // the last pass ended without fault: the journal is the disk
    bool m_lastWasWhole = false;
    Carried m_carried;
    QSet<ItemKey> m_deletedOnce; // found deleted by the last pass over part of the folder
};

} // namespace OrvelanNimbal::FileProvider
