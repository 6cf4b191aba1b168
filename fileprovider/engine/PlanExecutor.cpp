// SPDX-License-Identifier: GPL-3.0-or-later
#include "Logging.h"
#include "disk/SafeNames.h"
#include "engine/PlanExecutor_p.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"

#include <QMap>

namespace OrvelanNimbal::FileProvider {

namespace {

// Deeper than any chain of renames a person makes; beyond it, items step aside (see vacate()).
constexpr qsizetype longestMoveChain = 256;

QString itemName(const ItemKey &key)
{
    return (key.isFolder() ? QStringLiteral("d:") : QStringLiteral("f:")) + QString::number(key.id);
}

} // namespace

PlanExecutor::PlanExecutor(SyncEngine &engine, Plan plan, CancellationToken cancel)
    : m_engine(engine)
    , m_folder(engine.m_folder)
    , m_plan(std::move(plan))
    , m_cancel(std::move(cancel))
{
    for (const ItemRecord &record : std::as_const(m_engine.m_items)) {
        if (record.local.isOnDisk())
            m_owners.insert(record.local.path, record.key);
    }
    m_removing = QSet<ItemKey>(m_plan.removals.begin(), m_plan.removals.end());
}

QCoro::Task<SyncEngine::PassOutcome> PlanExecutor::run()
{
    recordSkips();
    placeStructure();
    m_engine.commit();
    co_await downloadAll();
    m_engine.commit();
    for (const ItemKey &key : m_plan.removals) {
        m_cancel.throwIfCancelled();
        if (m_removing.contains(key))
            remove(key);
    }
    for (const ItemKey &key : m_plan.forgets)
        m_engine.forget(key);
    m_engine.commit();
    if (m_plan.orphans > 0) {
        // Items under folders the feed did not bring: a complete listing will place them.
        qCInfo(logExtension) << m_plan.orphans
                             << "éléments sous un dossier inconnu : relecture complète prévue.";
        // Only after the feed: a complete listing that still leaves some would do no better.
        if (!m_engine.m_readEverything) {
            m_engine.m_cursor.reset();
            m_engine.m_batch.setCursor(std::nullopt);
            m_engine.commit();
            m_outcome.again = true;
        }
    }
    co_return m_outcome;
}

void PlanExecutor::recordSkips()
{
    QMap<QString, int> newlySkipped; // reason → how many, for one line per reason
    // Changed after the walk: the table is not written while it is read.
    std::vector<ItemRecord> changed;
    for (const ItemRecord &record : std::as_const(m_engine.m_items)) {
        const QString reason = m_plan.skips.value(record.key);
        if (reason == record.skipped)
            continue;
        if (!reason.isEmpty()) {
            ++newlySkipped[reason];
            qCDebug(logExtension).noquote() << QStringLiteral("%1 laissé hors du dossier : %2.")
                                                   .arg(itemName(record.key), reason);
        }
        changed.push_back(record);
        changed.back().skipped = reason;
    }
    for (const ItemRecord &record : changed)
        m_engine.put(record);
    for (auto reason = newlySkipped.cbegin(); reason != newlySkipped.cend(); ++reason)
        qCInfo(logExtension).noquote()
            << QStringLiteral("%1 éléments laissés hors du dossier : %2.")
                   .arg(reason.value())
                   .arg(reason.key());
}

void PlanExecutor::placeStructure()
{
    std::vector<ItemKey> steps = m_plan.folderCreations;
    steps.insert(steps.end(), m_plan.moves.begin(), m_plan.moves.end());
    std::stable_sort(steps.begin(), steps.end(), [&](const ItemKey &a, const ItemKey &b) {
        return m_plan.placements[a].count(u'/') < m_plan.placements[b].count(u'/');
    });
    for (const ItemKey &key : steps) {
        m_cancel.throwIfCancelled();
        try {
            if (m_engine.m_items[key].local.isOnDisk())
                move(key);
            else
                createFolder(key);
        } catch (const FileError &error) {
            m_engine.failed(key, QStringLiteral("Mise en place"), error);
            ++m_outcome.itemsLeft;
        }
    }
}

bool PlanExecutor::createFolder(const ItemKey &key)
{
    const QString target = m_plan.placements[key];
    const LocalEntry entry = m_folder.inspect(target);
    // A folder of the same name that is not ours yet becomes ours: its contents are kept, and
    // the drive's items join them.
    if (!(entry.type == LocalEntry::Type::folder && !m_owners.contains(target))) {
        if (!vacate(target, key))
            return false;
        m_folder.makeFolder(target);
    }
    LocalState local;
    local.path = target;
    local.inode = m_folder.inspect(target).inode; // what finds it again after a rename
    setLocal(key, local);
    return true;
}

// move() and vacate() call each other along a chain of items each taking the place of the
// next; longestMoveChain bounds the depth, whatever the service sends.
// NOLINTNEXTLINE(misc-no-recursion)
bool PlanExecutor::move(const ItemKey &key)
{
    const ItemRecord &record = m_engine.m_items[key];
    const QString from = record.local.path;
    const QString to = m_plan.placements.value(key);
    if (from == to || to.isEmpty())
        return true;
    const LocalEntry entry = m_folder.inspect(from);
    if (!entry.exists() || (key.isFolder() != (entry.type == LocalEntry::Type::folder))) {
        lose(key);
        return false;
    }
    m_moving.insert(key);
    const auto done = qScopeGuard([&] { m_moving.remove(key); });
    if (!vacate(to, key))
        return false;
    // Making room may have sent this very item aside first (two items swapping places).
    LocalState local = m_engine.m_items[key].local;
    if (!m_folder.moveNoReplace(local.path, to))
        return false;
    local.path = to;
    setLocal(key, local);
    return true;
}

// NOLINTNEXTLINE(misc-no-recursion): bounded with move(), above
bool PlanExecutor::vacate(const QString &path, const ItemKey &forKey)
{
    if (!m_folder.inspect(path).exists())
        return true;
    const auto owner = m_owners.constFind(path);
    if (owner == m_owners.cend()) {
        setAside(path); // not ours: kept under another name
        return true;
    }
    const ItemKey holder = *owner;
    if (holder == forKey)
        return true;
    if (m_removing.contains(holder))
        return remove(holder) || (setAside(path), true);
    const QString next = m_plan.placements.value(holder);
    if (next.isEmpty() || next == path)
        return false; // both want the place: the planner never lets that happen
    if (!m_moving.contains(holder) && m_moving.size() < longestMoveChain)
        return move(holder) && !m_folder.inspect(path).exists();
    // Two items swapping places, or a chain of moves too long to follow from here: one steps
    // aside to a name of ours first, and goes to its own place when its turn comes.
    const QString temporary =
        childPath(parentPath(path),
                  SafeNames::reservedPrefix + QStringLiteral("move-") + QString::number(holder.id));
    if (!m_folder.moveNoReplace(path, temporary))
        return false;
    LocalState local = m_engine.m_items[holder].local;
    local.path = temporary;
    setLocal(holder, local);
    return true;
}

void PlanExecutor::setAside(const QString &path)
{
    m_engine.keepAside(path);
}

void PlanExecutor::lose(const ItemKey &key)
{
    // Someone moved or deleted it on disk: what the service has is placed again next pass.
    const QString path = m_engine.m_items[key].local.path;
    const QString prefix = path + u'/';
    for (ItemRecord record : std::as_const(m_engine.m_items)) {
        if (record.key == key || record.local.path.startsWith(prefix)) {
            m_owners.remove(record.local.path);
            record.local = {};
            m_engine.put(record);
        }
    }
    m_outcome.again = true;
}

void PlanExecutor::setLocal(const ItemKey &key, const LocalState &local)
{
    ItemRecord record = m_engine.m_items[key];
    const QString old = record.local.path;
    if (old != local.path) {
        if (m_owners.value(old) == key)
            m_owners.remove(old);
        if (local.isOnDisk())
            m_owners.insert(local.path, key);
        // A folder takes everything beneath it along.
        if (key.isFolder() && !old.isEmpty() && local.isOnDisk()) {
            const QString prefix = old + u'/';
            std::vector<ItemRecord> moved; // written after the walk, as above
            for (const ItemRecord &child : std::as_const(m_engine.m_items)) {
                if (!child.local.path.startsWith(prefix))
                    continue;
                moved.push_back(child);
                moved.back().local.path = local.path + child.local.path.sliced(old.size());
            }
            for (const ItemRecord &child : moved) {
                m_owners.remove(old + child.local.path.sliced(local.path.size()));
                m_owners.insert(child.local.path, child.key);
                m_engine.put(child);
            }
        }
    }
    record.local = local;
    m_engine.m_diskTouched = true;
    m_engine.put(record);
}

bool PlanExecutor::matchesSynchronised(const ItemRecord &record, const LocalEntry &entry) const
{
    return entry.type == LocalEntry::Type::file && entry.size == record.local.size
           && entry.mtimeNs == record.local.mtimeNs && entry.inode == record.local.inode;
}

bool PlanExecutor::remove(const ItemKey &key)
{
    m_removing.remove(key);
    ItemRecord record = m_engine.m_items[key];
    const QString path = record.local.path;
    bool removed = true;
    try {
        const LocalEntry entry = m_folder.inspect(path);
        if (!entry.exists()) {
            removed = true;
        } else if (key.isFolder()) {
            removed = entry.type == LocalEntry::Type::folder && m_folder.removeEmptyFolder(path);
        } else if (matchesSynchronised(record, entry)) {
            m_folder.removeFile(path);
        } else {
            removed = false;
        }
    } catch (const FileError &error) {
        qCWarning(logExtension).noquote() << error.errorDescription();
        removed = false;
    }
    if (!removed)
        qCInfo(logExtension).noquote()
            << QStringLiteral("%1 gardé sur le disque : il contient un travail local pas encore "
                              "envoyé.")
                   .arg(itemName(key));
    m_engine.m_diskTouched = true;
    // Either way the row no longer places anything: what stays is local work.
    if (m_owners.value(path) == key)
        m_owners.remove(path);
    if (!record.remote.present) {
        m_engine.forget(key);
    } else {
        record.local = {};
        m_engine.put(record);
    }
    return removed;
}

} // namespace OrvelanNimbal::FileProvider
