// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/SyncEngine.h"

#include "Logging.h"
#include "async/OffMainThread.h"
#include "engine/CrashPoints.h"
#include "engine/Executor.h"
#include "engine/IntentRecovery.h"
#include "engine/LocalObservations.h"
#include "engine/Reconciler.h"
#include "engine/RemoteReader.h"

namespace OrvelanNimbal::FileProvider {

namespace {

const QString foldsKey = QStringLiteral("folds-names");

// A pass's decisions and what they were made from.
struct Decided {
    ItemTable rows;
    LocalObservations observed;
    Plan plan;
};
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

QCoro::Task<PassOutcome> SyncEngine::runPass(CancellationToken cancel)
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
        // Files told whole before the scan are seen whole by it: what this pass did not send
        // needed no sending (our own renames among them), and is forgotten after it.
        const QSet<QString> toldWhole = m_context.closedAfterWriting();
        auto scanFolder = [root = m_context.folder().root()] { return LocalScan::of(root); };
        LocalScan scan = co_await runOffMainThread(std::move(scanFolder));
        requireFolder(); // an unmounted folder reads as empty: that is no deletion
        recovery.sweep(scan);

        // Every item's decision at once: work for the pool, with copies of what it reads.
        auto decideAll = [rows = m_context.journal().items(), scan = std::move(scan),
                          folds = m_foldsNames,
                          now = m_context.clock().currentDateTime()]() mutable {
            Decided decided;
            decided.observed = observe(rows, scan);
            const ReconcileInput input{rows, decided.observed, scan, folds,
                                       [now](const QString &name) {
                                           return EngineContext::conflictNameAt(name, now);
                                       }};
            decided.plan = reconcile(input);
            decided.rows = std::move(rows);
            return decided;
        };
        Decided decided = co_await runOffMainThread(std::move(decideAll));
        if (decided.plan.heldDeletions > 0)
            qCWarning(logExtension).noquote()
                << QStringLiteral("%1 éléments effacés du dossier d'un coup : rien n'est mis à "
                                  "la corbeille du Nimbal sans confirmation.")
                       .arg(decided.plan.heldDeletions);
        const qsizetype orphans = decided.plan.orphans;
        Executor executor(m_context, std::move(decided.rows), decided.observed,
                          std::move(decided.plan), cancel);
        PassOutcome outcome = co_await executor.run();
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
        co_await m_context.writeReports();
        co_return outcome;
#ifdef NIMBAL_CRASH_POINTS
    } catch (const CrashPoints::Killed &) {
        m_killed = true;
        throw;
    }
#endif
}

} // namespace OrvelanNimbal::FileProvider
