// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/SyncEngine.h"

#include "Logging.h"
#include "async/OffMainThread.h"
#include "engine/CrashPoints.h"
#include "engine/Executor.h"
#include "engine/IntentRecovery.h"
#include "engine/LocalObservations.h"
#include "engine/PartialView.h"
#include "engine/Reconciler.h"
#include "engine/RemoteReader.h"

#include <algorithm>

#include <malloc.h>

namespace OrvelanNimbal::FileProvider {

namespace {

const QString foldsKey = QStringLiteral("folds-names");

// A pass's decisions and what they were made from.
struct Decided {
    ItemTable rows;
    LocalObservations observed;
    Plan plan;
};
// Beyond this many items to look at again one by one, the next pass reads the whole folder.
constexpr qsizetype carriedItemsLimit = 5000;
// How soon removals held back are asked about again.
constexpr std::chrono::minutes heldRemovalCheck(1);

} // namespace

SyncEngine::SyncEngine(Settings settings, std::unique_ptr<Journal> journal)
    : m_context(std::move(settings), std::move(journal))
{}

SyncEngine::~SyncEngine()
{
    if (m_killed)
        return;
    // A pass cut short (the domain stopped or removed) keeps what it did.
    try {
        m_context.commitNow();
    } catch (const std::exception &error) {
        qCWarning(logExtension) << error.what();
    }
}

void SyncEngine::requireFolder() const
{
    if (m_context.folder().readMarker() != m_context.settings().folderID)
        throw FolderUnavailable(
            QStringLiteral("Le dossier « %1 » est introuvable ou n'est plus celui du Nimbal : "
                           "synchronisation suspendue, rien n'est supprimé.")
                .arg(m_context.folder().root()));
}

QCoro::Task<SyncEngine::Gathered> SyncEngine::gatherWhole()
{
    auto scanFolder = [root = m_context.folder().root()] { return LocalScan::of(root); };
    Gathered gathered;
    gathered.scan = co_await runOffMainThread(std::move(scanFolder));
    gathered.rows = m_context.journal().items();
    gathered.whole = true;
    co_return gathered;
}

QCoro::Task<SyncEngine::Gathered> SyncEngine::gatherPart(PassScope scope,
                                                       QSet<ItemKey> concerned,
                                                       QSet<ItemKey> foldersMoved)
{
    Journal &journal = m_context.journal();
    PartialView view(journal);
    for (const QString &folder : std::as_const(scope.folders))
        view.addFolder(folder);
    // Besides what changed: what waits after a failure, and removals held back.
    for (const Failure &failure : journal.failures()) {
        if (const auto key = itemKeyOf(failure.subject))
            concerned.insert(*key);
        else if (failure.subject.startsWith(u"p:"))
            view.addFolder(parentPath(failure.subject.sliced(2)));
    }
    concerned.unite(m_context.heldRemovals());
    concerned.unite(m_carried.items);
    for (const ItemKey &key : std::as_const(concerned))
        view.addItem(key);
    for (auto seen = m_carried.seenAt.cbegin(); seen != m_carried.seenAt.cend(); ++seen)
        view.addSeen(seen.key(), seen.value());
    for (const ItemKey &folder : std::as_const(m_carried.changedFolders))
        view.addChildren(folder);
    for (const ItemKey &folder : std::as_const(foldersMoved))
        view.addSubtree(folder);
    auto scanPart = [root = m_context.folder().root(), parts = view.scanParts()] {
        return LocalScan::of(root, parts);
    };
    Gathered gathered;
    gathered.scan = co_await runOffMainThread(std::move(scanPart));
    if (QList<QString> joined = view.widen(gathered.scan); !joined.isEmpty()) {
        auto lookAt = [root = m_context.folder().root(), scan = std::move(gathered.scan),
                       joined = std::move(joined)]() mutable {
            scan.add(root, joined);
            return std::move(scan);
        };
        gathered.scan = co_await runOffMainThread(std::move(lookAt));
    }
    // An item missing from its place, found nowhere the part was read, and not in a folder
    // listed now: the part cannot tell a deletion from a move it did not see.
    if (const std::optional<QString> missing = view.unexplainedAbsence(gathered.scan)) {
        qCInfo(logExtension).noquote()
            << QStringLiteral("« %1 » introuvable hors des dossiers changés : relecture complète.")
                   .arg(*missing);
        co_return co_await gatherWhole();
    }
    gathered.whole = false;
    gathered.concerned = std::move(concerned);
    gathered.rows = view.takeRows();
    // A share of deletions is measured against the whole folder: counted only when some row
    // of the part may be one.
    const bool anyMissing = std::any_of(gathered.rows.cbegin(), gathered.rows.cend(),
                                        [&](const ItemRecord &row) {
                                            return row.base.isOnDisk()
                                                   && !gathered.scan.entries.contains(row.base.path);
                                        });
    if (anyMissing) {
        const auto placedHere =
            std::count_if(gathered.rows.cbegin(), gathered.rows.cend(),
                          [](const ItemRecord &row) { return row.base.isOnDisk(); });
        gathered.placedElsewhere = std::max<qsizetype>(journal.placedCount() - placedHere, 0);
    }
    co_return gathered;
}

bool SyncEngine::holdUnconfirmedDeletions(Plan &plan)
{
    // A pass over part of the folder took its scope before it looked: a file moved from a
    // folder it lists to one it does not, just then, reads as deleted. A deletion is sent only
    // when the next pass (which has the other half of such a move) finds it again.
    QSet<ItemKey> unconfirmed;
    std::erase_if(plan.actions, [&](const Action &action) {
        if (action.kind != Action::Kind::trashThere || m_deletedOnce.contains(action.key))
            return false;
        unconfirmed.insert(action.key);
        return true;
    });
    m_deletedOnce = unconfirmed;
    return !unconfirmed.isEmpty();
}

QCoro::Task<PassOutcome> SyncEngine::runPass(PassScope scope, CancellationToken cancel)
{
    m_lastWasWhole = false;
    const PassOutcome outcome = co_await pass(std::move(scope), std::move(cancel));
    // A whole pass held every row, the scan and the decisions, many on the pool's threads; all
    // of it is freed now that its frame is gone, but the allocator keeps the memory unless
    // asked to give it back.
    if (m_lastWasWhole)
        ::malloc_trim(0);
    co_return outcome;
}

QCoro::Task<PassOutcome> SyncEngine::pass(PassScope scope, CancellationToken cancel)
{
#ifdef NIMBAL_CRASH_POINTS
    try {
#endif
        requireFolder();
        if (!m_probed) {
            // Once per folder: whether it takes two names that differ only by case or accents
            // for one. Only there do such twins need telling apart.
            const std::optional<QString> known = m_context.journal().setting(foldsKey);
            if (known) {
                m_foldsNames = *known == u"1";
            } else {
                m_foldsNames = m_context.folder().foldsNames();
                m_context.batch().setSetting(foldsKey, m_foldsNames ? u"1"_qs : u"0"_qs);
                if (m_foldsNames)
                    qCInfo(logExtension) << "Le dossier confond les noms qui ne diffèrent que "
                                            "par la casse ou les accents.";
            }
            m_probed = true;
        }
        // Named: GCC 12 ends a temporary of a co_await expression before the wait is over.
        IntentRecovery recovery(m_context);
        co_await recovery.finish(cancel);
        RemoteReader reader(m_context);
        const RemoteReader::Outcome read = co_await reader.read(cancel);
        requireFolder(); // it may have gone while the service answered
        // Only a pass that follows a whole one (without fault) knows that what the watcher did
        // not report is as the journal says; only a read of the changes says what they are.
        if (!m_wholeKnown || m_foldsNames || read.complete || !read.read)
            scope = PassScope::everything();
        scope.merge(m_carried.scope);
        m_wholeKnown = false; // until this pass ends without fault
        m_context.takeTouched(); // what the passes before changed is in `scope` already
        // Files told whole before the scan are seen whole by it: what this pass did not send
        // needed no sending (our own renames among them), and is forgotten after it.
        const QSet<QString> toldWhole = m_context.closedAfterWriting();
        QSet<ItemKey> concerned = read.changed;
        // One wait per statement: GCC 12 mishandles a co_await in either branch of ?:.
        Gathered gathered;
        if (scope.whole)
            gathered = co_await gatherWhole();
        else
            gathered = co_await gatherPart(scope, concerned, read.foldersMoved);
        if (gathered.whole)
            scope = PassScope::everything();
        else
            concerned = std::move(gathered.concerned);
        requireFolder(); // an unmounted folder reads as empty: that is no deletion
        recovery.sweep(gathered.scan);

        // Every item's decision at once: work for the pool, with copies of what it reads.
        auto decideAll = [rows = std::move(gathered.rows), scan = std::move(gathered.scan),
                          elsewhere = gathered.placedElsewhere, folds = m_foldsNames,
                          now = m_context.clock().currentDateTime()]() mutable {
            Decided decided;
            decided.observed = observe(rows, scan);
            const ReconcileInput input{rows,
                                       decided.observed,
                                       scan,
                                       folds,
                                       [now](const QString &name) {
                                           return EngineContext::conflictNameAt(name, now);
                                       },
                                       elsewhere};
            decided.plan = reconcile(input);
            decided.rows = std::move(rows);
            return decided;
        };
        Decided decided = co_await runOffMainThread(std::move(decideAll));
        const bool deletionsAwait = !scope.whole && holdUnconfirmedDeletions(decided.plan);
        if (scope.whole)
            m_deletedOnce.clear(); // a whole pass saw everywhere a moved file could be
        if (decided.plan.heldDeletions > 0)
            qCWarning(logExtension).noquote()
                << QStringLiteral("%1 éléments effacés du dossier d'un coup : rien n'est mis à "
                                  "la corbeille du Nimbal sans confirmation.")
                       .arg(decided.plan.heldDeletions);
        const qsizetype orphans = decided.plan.orphans;
        // What the next pass looks for besides what changes by then: the items found moved,
        // where they were found, until their rows say so; the items not placed yet (their
        // place is the service's to give, no folder listing finds them); and, when something
        // waits for a moment, everything this pass looked at.
        QHash<ItemKey, QString> seenAt;
        for (auto seen = decided.observed.items.cbegin(); seen != decided.observed.items.cend();
             ++seen) {
            const auto row = decided.rows.constFind(seen.key());
            if (seen->state == Observation::State::present && row != decided.rows.cend()
                && seen->path != row->base.path)
                seenAt.insert(seen.key(), seen->path);
        }
        QSet<ItemKey> looked;
        QSet<ItemKey> unplaced;
        for (const ItemRecord &row : std::as_const(decided.rows)) {
            if (!scope.whole)
                looked.insert(row.key);
            if (row.remote.present && !row.base.isOnDisk() && row.skipped.isEmpty())
                unplaced.insert(row.key);
        }
        Executor executor(m_context, std::move(decided.rows), decided.observed,
                          std::move(decided.plan), cancel);
        PassOutcome outcome = co_await executor.run();
        if (deletionsAwait)
            outcome.again = true; // the next pass, at once, confirms them or finds them moved
        for (const QString &path : toldWhole)
            m_context.closedAfterWriting().remove(path);
        if (read.held)
            outcome.postpone(heldRemovalCheck); // the next complete listing confirms them
        if (orphans > 0 && read.read && !read.complete) {
            // Items under folders the feed did not bring: the next read is a complete one.
            qCInfo(logExtension) << orphans
                                 << "éléments sous un dossier inconnu : relecture complète prévue.";
            m_context.batch().setCursor(std::nullopt);
            outcome.again = true;
        }
        co_await m_context.commit();
        co_await m_context.writeReports(scope.whole);
        // What waits for a moment (a file still written, a folder not made yet) is looked at
        // again; what waits after a failure is found by its failure. So is every row this pass
        // changed: a step may leave the next one to the next pass (a base let go is placed
        // again, a folder made here is filled).
        // A folder that left the disk this pass left rows beneath it a part may not have had:
        // another pass follows at once, with them.
        if (!scope.whole && m_context.leftRowsBeneath())
            outcome.again = true;
        if (outcome.revisit || outcome.settling || outcome.again)
            m_carried = {scope, looked.unite(concerned), {}, {}};
        else
            m_carried = {PassScope::changedIn({}), {}, {}, {}};
        const QSet<ItemKey> touched = m_context.takeTouched();
        m_carried.items.unite(touched).unite(unplaced);
        m_carried.seenAt = std::move(seenAt);
        for (const ItemKey &key : touched) {
            if (key.isFolder())
                m_carried.changedFolders.insert(key);
        }
        if (m_carried.items.size() + m_carried.seenAt.size() > carriedItemsLimit)
            m_carried = {PassScope::everything(), {}, {}, {}}; // cheaper whole than one by one
        m_wholeKnown = true;
        m_lastWasWhole = scope.whole;
        co_return outcome;
#ifdef NIMBAL_CRASH_POINTS
    } catch (const CrashPoints::Killed &) {
        m_killed = true;
        throw;
    }
#endif
}

} // namespace OrvelanNimbal::FileProvider
