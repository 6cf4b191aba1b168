// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Reconciler.h"

#include "disk/SafeNames.h"

#include <QSet>

#include <algorithm>

namespace OrvelanNimbal::FileProvider {

namespace {

using Disk = ItemSides::Disk;
using Service = ItemSides::Service;
using Place = Decision::Place;
using Content = Decision::Content;
using Fate = Decision::Fate;
using Kind = Action::Kind;

qsizetype depthOf(const QString &path)
{
    return path.isEmpty() ? 0 : path.count(u'/') + 1;
}

// The paths of the scan in order, so that what lies under a folder is one range of it.
std::vector<QString> sortedPaths(const LocalScan &scan)
{
    std::vector<QString> paths;
    paths.reserve(std::size_t(scan.entries.size() + scan.others.size()));
    for (auto entry = scan.entries.cbegin(); entry != scan.entries.cend(); ++entry)
        paths.push_back(entry.key());
    for (const QString &other : scan.others)
        paths.push_back(other);
    std::sort(paths.begin(), paths.end());
    return paths;
}

class Reconciler {
public:
    explicit Reconciler(const ReconcileInput &input)
        : m_in(input)
        , m_claims(input.disk.claims)
        , m_unclaimed(input.disk.unclaimed.begin(), input.disk.unclaimed.end())
    {}

    Plan run()
    {
        indexChildren();
        placeTree();
        decideRowsWithBase();
        decideRowsWithoutBase();
        releaseFoldersHoldingWork();
        restoreFoldersStillNeeded();
        settleReleases();
        guardDeletions();
        emitRows();
        emitNewEntries();
        return std::move(m_plan);
    }

private:
    const ItemRecord &row(const ItemKey &key) const { return *m_in.rows.constFind(key); }

    std::optional<Observation> seen(const ItemKey &key) const
    {
        const auto found = m_in.disk.items.constFind(key);
        if (found == m_in.disk.items.cend())
            return std::nullopt;
        return *found;
    }

    std::optional<QString> observedPath(const ItemKey &key) const
    {
        const auto observation = seen(key);
        if (!observation || observation->state != Observation::State::present)
            return std::nullopt;
        return observation->path;
    }

    // An item renamed there for a moment to a name of ours (its way out of a clash of names)
    // still goes by its base's name.
    static QString remoteName(const ItemRecord &record)
    {
        const bool passing =
            record.base.isOnDisk()
            && record.remote.name == SafeNames::parkingName(record.key.isFolder(), record.key.id);
        return passing ? fileName(record.base.path) : record.remote.name;
    }

    void indexChildren()
    {
        for (const ItemRecord &record : m_in.rows) {
            if (record.remote.present)
                m_children[record.remote.parentID].append(record.key);
        }
        for (auto &children : m_children) {
            // Whoever is on disk first, then the older: the order in which names are granted.
            std::sort(children.begin(), children.end(), [&](const ItemKey &a, const ItemKey &b) {
                const bool aThere = row(a).base.isOnDisk();
                const bool bThere = row(b).base.isOnDisk();
                if (aThere != bThere)
                    return aThere;
                return std::pair(a.id, a.kind) < std::pair(b.id, b.kind);
            });
        }
    }

    // The service's tree from the top, folder by folder with a list rather than a call per
    // level: the tree's depth is the service's to decide.
    void placeTree()
    {
        std::vector<qint64> pending{0};
        while (!pending.empty()) {
            const qint64 folder = pending.back();
            pending.pop_back();
            QHash<QString, ItemKey> folded; // only where the disk folds names
            for (const ItemKey &key : m_children.value(folder)) {
                const ItemRecord &record = row(key);
                if (const auto refusal = SafeNames::check(remoteName(record))) {
                    skipSubtree(key, SafeNames::describe(*refusal));
                    continue;
                }
                if (m_in.foldsNames) {
                    const QString collision = SafeNames::collisionKey(remoteName(record));
                    if (folded.contains(collision))
                        m_clashNames.insert(key, m_in.conflictName(remoteName(record)));
                    else
                        folded.insert(collision, key);
                }
                m_placed.insert(key);
                m_order.push_back(key);
                if (key.isFolder())
                    pending.push_back(key.id);
            }
        }
    }

    void skipSubtree(const ItemKey &key, const QString &reason)
    {
        m_skips.insert(key, reason);
        std::vector<qint64> folders;
        if (key.isFolder())
            folders.push_back(key.id);
        while (!folders.empty()) {
            const qint64 folder = folders.back();
            folders.pop_back();
            for (const ItemKey &child : m_children.value(folder)) {
                m_skips.insert(child, skippedParent);
                if (child.isFolder())
                    folders.push_back(child.id);
            }
        }
    }

    // The folder that holds `path` on disk, as a target's parent.
    Target diskTarget(const QString &path) const
    {
        Target target;
        target.name = fileName(path);
        const QString parent = parentPath(path);
        if (parent.isEmpty())
            return target;
        const auto owner = m_claims.constFind(parent);
        if (owner != m_claims.cend() && m_decisions.value(*owner).fate != Fate::release)
            target.parent = *owner;
        else
            target.newParentPath = parent;
        return target;
    }

    Target serviceTarget(const ItemRecord &record) const
    {
        Target target;
        if (record.remote.parentID > 0)
            target.parent = ItemKey::folder(record.remote.parentID);
        target.name = m_clashNames.value(record.key, remoteName(record));
        return target;
    }

    static qint64 parentIDOf(const Target &target)
    {
        if (target.parent)
            return target.parent->id;
        return target.newParentPath.isEmpty() ? 0 : -1; // -1: a folder the service lacks
    }

    ItemSides::Service serviceSide(const ItemRecord &record) const
    {
        if (!record.remote.present)
            return Service::trashed;
        if (record.key.isFolder())
            return Service::same;
        if (!isSynchronizable(record.remote.storageClass))
            return Service::archived;
        if (!record.base.isOnDisk())
            return Service::changed;
        if (remoteContentChanged(record.remote, record.base))
            return Service::changed;
        return remoteVersionMoved(record.remote, record.base) ? Service::versionOnly
                                                              : Service::same;
    }

    void decideRowsWithBase()
    {
        for (const ItemRecord &record : m_in.rows) {
            if (!record.base.isOnDisk())
                continue;
            const ItemKey &key = record.key;
            const Observation observation = seen(key).value_or(Observation());
            if (record.remote.present && m_skips.contains(key)) {
                Decision left;
                left.fate = Fate::leave; // its copy on disk stays as it is
                m_decisions.insert(key, left);
                continue;
            }
            if (record.remote.present && !m_placed.contains(key)) {
                ++m_plan.orphans;
                Decision left;
                left.fate = Fate::leave;
                m_decisions.insert(key, left);
                continue;
            }
            // Left out (a link stood at its place, or above it) and now gone too: nothing says
            // the user wanted the item gone from the drive, so it comes back rather than going
            // to the trash.
            if (!record.skipped.isEmpty() && observation.state == Observation::State::absent) {
                m_withoutBase.push_back(key);
                continue;
            }
            ItemSides sides;
            sides.folder = key.isFolder();
            sides.service = serviceSide(record);
            switch (observation.state) {
            case Observation::State::present:
                sides.disk = sides.folder || matchesBase(record.base, observation.entry)
                                 ? Disk::same
                                 : Disk::changed;
                break;
            case Observation::State::absent:
                sides.disk = Disk::gone;
                break;
            case Observation::State::unseen:
                sides.disk = Disk::unseen;
                break;
            case Observation::State::replaced:
                sides.disk = Disk::replaced;
                break;
            }
            const QString baseName = fileName(record.base.path);
            if (record.remote.present)
                sides.movedThere = record.remote.parentID != record.base.parentID
                                   || remoteName(record) != baseName;
            if (observation.state == Observation::State::present) {
                const Target here = diskTarget(observation.path);
                sides.movedHere =
                    parentIDOf(here) != record.base.parentID || here.name != baseName;
                sides.sameTarget = parentIDOf(here) == record.remote.parentID
                                   && here.name == remoteName(record);
            }
            m_decisions.insert(key, decide(sides));
        }
    }

    // Where an item ends on disk once the pass is done, for the rows the tree places; parents
    // are resolved with a list rather than a call per level. A circle (each side moved one
    // folder into the other) gives way to the service's places.
    std::optional<QString> finalPath(const ItemKey &start)
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::vector<ItemKey> chain;
            QSet<ItemKey> onChain;
            ItemKey key = start;
            QString above; // the resolved path the chain hangs from
            bool circle = false;
            for (;;) {
                if (const auto known = m_final.constFind(key); known != m_final.cend()) {
                    above = *known;
                    break;
                }
                if (!m_in.rows.contains(key) || !m_placed.contains(key))
                    return std::nullopt;
                if (onChain.contains(key)) {
                    circle = true;
                    break;
                }
                chain.push_back(key);
                onChain.insert(key);
                const Target target = targetOf(key);
                if (!target.parent) {
                    above = target.newParentPath; // a folder new here, or the top
                    break;
                }
                key = *target.parent;
            }
            if (circle) {
                for (const ItemKey &member : chain) {
                    auto decision = m_decisions.find(member);
                    if (decision != m_decisions.end() && decision->place == Place::followDisk)
                        decision->place = Place::followService;
                }
                continue;
            }
            for (auto step = chain.rbegin(); step != chain.rend(); ++step) {
                above = childPath(above, targetOf(*step).name);
                m_final.insert(*step, above);
            }
            return m_final.value(start);
        }
        return std::nullopt;
    }

    // Where the item goes: the disk's place when the service follows the disk, else the
    // service's (a new name where names fold and clash).
    Target targetOf(const ItemKey &key) const
    {
        const auto decision = m_decisions.constFind(key);
        const std::optional<QString> path = observedPath(key);
        if (decision != m_decisions.cend() && decision->place == Place::followDisk && path)
            return diskTarget(*path);
        return serviceTarget(row(key));
    }

    void decideRowsWithoutBase()
    {
        for (const ItemKey &key : m_order) {
            if (!row(key).base.isOnDisk())
                m_withoutBase.push_back(key);
        }
        for (const ItemRecord &record : m_in.rows) {
            if (record.base.isOnDisk())
                continue;
            if (!record.remote.present) {
                Decision gone;
                gone.fate = Fate::forget;
                m_decisions.insert(record.key, gone);
            } else if (!m_placed.contains(record.key) && !m_skips.contains(record.key)) {
                ++m_plan.orphans; // under a folder not known yet
            }
        }
        for (const ItemKey &key : m_withoutBase) {
            const ItemRecord &record = row(key);
            if (!record.remote.present) {
                Decision gone;
                gone.fate = Fate::forget;
                m_decisions.insert(key, gone);
                continue;
            }
            ItemSides sides;
            sides.folder = key.isFolder();
            sides.service = serviceSide(record);
            sides.disk = Disk::none;
            const std::optional<QString> path = finalPath(key);
            if (!path) {
                ++m_plan.orphans;
                continue;
            }
            const auto entry = m_in.scan.entries.constFind(*path);
            if (m_in.scan.isUnseen(*path)) {
                sides.disk = Disk::unseen;
            } else if (m_in.scan.others.contains(*path)) {
                sides.disk = Disk::replaced;
            } else if (entry != m_in.scan.entries.cend() && m_unclaimed.contains(*path)
                       && (entry->type == LocalEntry::Type::folder) == sides.folder) {
                sides.disk = Disk::found;
                m_unclaimed.remove(*path);
                m_claims.insert(*path, key);
                m_found.insert(key, *path);
            }
            Decision decision = decide(sides);
            if (sides.disk == Disk::replaced && !record.base.isOnDisk())
                decision.fate = Fate::leaveLink;
            m_decisions.insert(key, decision);
        }
    }

    // A folder trashed on the service stays, sent again as new, when anything under it on disk
    // stays: work the service does not have, a link, something the scan could not read.
    void releaseFoldersHoldingWork()
    {
        std::vector<ItemKey> folders;
        for (auto decision = m_decisions.cbegin(); decision != m_decisions.cend(); ++decision) {
            if (decision.key().isFolder() && decision->fate == Fate::removeHere)
                folders.push_back(decision.key());
        }
        if (folders.empty())
            return;
        std::sort(folders.begin(), folders.end(), [&](const ItemKey &a, const ItemKey &b) {
            return depthOf(*observedPath(a)) > depthOf(*observedPath(b));
        });
        const std::vector<QString> paths = sortedPaths(m_in.scan);
        for (const ItemKey &folder : folders) {
            const QString prefix = *observedPath(folder) + u'/';
            auto inside = std::lower_bound(paths.begin(), paths.end(), prefix);
            for (; inside != paths.end() && inside->startsWith(prefix); ++inside) {
                const auto owner = m_claims.constFind(*inside);
                if (owner == m_claims.cend()
                    || m_decisions.value(*owner).fate != Fate::removeHere) {
                    m_decisions[folder].fate = Fate::release;
                    break;
                }
            }
        }
    }

    // A folder deleted here comes back when something the service has must go in it.
    void restoreFoldersStillNeeded()
    {
        for (auto key = m_order.rbegin(); key != m_order.rend(); ++key) {
            if (!key->isFolder() || m_decisions.value(*key).fate != Fate::trashThere)
                continue;
            for (const ItemKey &child : m_children.value(key->id)) {
                const auto decision = m_decisions.constFind(child);
                if (decision == m_decisions.cend())
                    continue;
                const bool staysInside = decision->place != Place::followDisk
                                         && (decision->fate == Fate::keep
                                             || decision->fate == Fate::restore);
                if (staysInside) {
                    Decision back;
                    back.place = Place::followService;
                    back.fate = Fate::restore;
                    m_decisions.insert(*key, back);
                    break;
                }
            }
        }
    }

    // What a released row had on disk is new: it goes up under a new id.
    void settleReleases()
    {
        for (auto decision = m_decisions.cbegin(); decision != m_decisions.cend(); ++decision) {
            if (decision->fate != Fate::release)
                continue;
            if (const auto path = observedPath(decision.key())) {
                m_claims.remove(*path);
                m_unclaimed.insert(*path);
            }
        }
    }

    void guardDeletions()
    {
        std::vector<ItemKey> deletions;
        QHash<qint64, std::pair<qsizetype, qsizetype>> byFolder; // placed, deleted
        for (const ItemRecord &record : m_in.rows) {
            if (!record.base.isOnDisk())
                continue;
            auto &counts = byFolder[record.base.parentID];
            ++counts.first;
            if (m_decisions.value(record.key).fate == Fate::trashThere) {
                ++counts.second;
                deletions.push_back(record.key);
            }
        }
        if (deletions.empty())
            return;
        qsizetype total = m_in.placedElsewhere;
        for (const auto &[placed, deleted] : std::as_const(byFolder))
            total += placed;
        const auto count = qsizetype(deletions.size());
        const bool mass = count > massDeletionFloor && double(count) > massDeletionShare * total;
        for (const ItemKey &key : deletions) {
            const qint64 folder = row(key).base.parentID;
            const auto [placed, deleted] = byFolder.value(folder);
            const bool folderStays = folder == 0 || m_decisions.value(ItemKey::folder(folder)).fate
                                                        != Fate::trashThere;
            const bool wholeFolder = placed > massDeletionFloor && deleted == placed && folderStays;
            if (mass || wholeFolder) {
                m_held.insert(key);
                ++m_plan.heldDeletions;
            }
        }
    }

    void add(Kind kind, const ItemKey &key, const QString &path = {}, const Target &target = {},
             qsizetype depth = 0)
    {
        Action action;
        action.kind = kind;
        action.key = key;
        action.path = path;
        action.target = target;
        action.depth = depth;
        m_plan.actions.push_back(std::move(action));
    }

    void skip(const ItemRecord &record, const QString &reason)
    {
        if (record.skipped == reason)
            return;
        Action action;
        action.kind = Kind::skip;
        action.key = record.key;
        action.reason = reason;
        m_plan.actions.push_back(std::move(action));
    }

    void emitRows()
    {
        for (const ItemRecord &record : m_in.rows) {
            const ItemKey &key = record.key;
            const auto skipped = m_skips.constFind(key);
            if (record.remote.present && skipped != m_skips.cend()) {
                skip(record, *skipped);
                continue;
            }
            const auto found = m_decisions.constFind(key);
            if (found == m_decisions.cend())
                continue; // under a folder the journal does not know: left as it is
            emitDecision(record, *found);
        }
    }

    void emitDecision(const ItemRecord &record, const Decision &decision)
    {
        const ItemKey &key = record.key;
        const std::optional<QString> here = observedPath(key);
        const bool archived = !key.isFolder() && record.remote.present
                              && !isSynchronizable(record.remote.storageClass);
        switch (decision.fate) {
        case Fate::forget:
            add(Kind::forget, key);
            return;
        case Fate::release:
            add(Kind::release, key, here.value_or(QString()));
            return;
        case Fate::removeHere:
            add(Kind::removeHere, key, here.value_or(record.base.path), {},
                depthOf(here.value_or(record.base.path)));
            return;
        case Fate::trashThere:
            if (!m_held.contains(key))
                add(Kind::trashThere, key, record.base.path, {}, depthOf(record.base.path));
            return;
        case Fate::letGo:
            add(Kind::letGo, key);
            skip(record, skippedArchived);
            return;
        case Fate::leave:
            // Beneath a link: out of the folder's reach, and said so.
            if (!here && record.base.isOnDisk()
                && m_in.scan.isBeneathLink(record.base.path))
                skip(record, skippedParent);
            return;
        case Fate::leaveLink:
            skip(record, skippedLink);
            return;
        case Fate::keep:
        case Fate::restore:
            break;
        }
        if (!record.skipped.isEmpty() && !archived)
            skip(record, QString());
        const std::optional<QString> end = finalPath(key);
        const qsizetype depth = depthOf(end.value_or(QString()));
        const Target target = targetOf(key);
        switch (decision.place) {
        case Place::stay:
            if (here && *here != record.base.path)
                add(Kind::recordPlace, key, *here, target); // carried along by its folder
            break;
        case Place::record:
            // A file new on both sides is recorded by the comparison, if the bytes agree.
            if (record.base.isOnDisk() || decision.content != Content::compare)
                add(Kind::recordPlace, key, m_found.value(key, here.value_or(QString())), target);
            break;
        case Place::followDisk:
            add(Kind::moveThere, key, here.value_or(QString()), target, depth);
            break;
        case Place::followService:
            if (m_clashNames.contains(key))
                add(Kind::moveThere, key, {}, target, depth); // renamed there first
            if (here)
                add(Kind::moveHere, key, *here, target, depth);
            else if (key.isFolder())
                add(Kind::makeHere, key, {}, target, depth);
            break;
        }
        const QString path = m_found.value(key, here.value_or(QString()));
        switch (decision.content) {
        case Content::none:
            if (archived && !record.base.isOnDisk())
                skip(record, skippedArchived);
            break;
        case Content::upload:
            add(Kind::upload, key, path, target, depth);
            break;
        case Content::download:
            add(Kind::download, key, path, target, depth);
            break;
        case Content::compare:
            add(Kind::compare, key, path, target, depth);
            break;
        case Content::recordVersion:
            add(Kind::recordVersion, key);
            break;
        case Content::keepAside:
            add(Kind::keepAside, key, path, target, depth);
            if (!record.base.isOnDisk())
                skip(record, skippedArchived);
            break;
        }
    }

    void emitNewEntries()
    {
        std::vector<QString> paths(m_unclaimed.begin(), m_unclaimed.end());
        std::sort(paths.begin(), paths.end(), [](const QString &a, const QString &b) {
            return std::pair(depthOf(a), a) < std::pair(depthOf(b), b);
        });
        for (const QString &path : paths) {
            const Target target = diskTarget(path);
            // Under a folder the service does not place (left out, or not known yet): it waits.
            if (target.parent) {
                const auto owner = m_in.rows.constFind(*target.parent);
                if (owner == m_in.rows.cend() || !owner->remote.present
                    || !m_placed.contains(*target.parent))
                    continue;
            } else if (!target.newParentPath.isEmpty() && !m_unclaimed.contains(target.newParentPath)) {
                continue;
            }
            const bool folder = m_in.scan.entries[path].type == LocalEntry::Type::folder;
            add(folder ? Kind::createThere : Kind::uploadNew, ItemKey{}, path, target,
                depthOf(path));
        }
    }

    const ReconcileInput &m_in;
    Plan m_plan;
    QHash<qint64, QList<ItemKey>> m_children;
    std::vector<ItemKey> m_order; // placed rows, parents first
    QSet<ItemKey> m_placed;
    QHash<ItemKey, QString> m_skips;
    QHash<ItemKey, QString> m_clashNames;
    QHash<ItemKey, Decision> m_decisions;
    std::vector<ItemKey> m_withoutBase;
    QHash<ItemKey, QString> m_found; // rows without base matched with what is at their place
    QHash<ItemKey, QString> m_final;
    QHash<QString, ItemKey> m_claims;
    QSet<QString> m_unclaimed;
    QSet<ItemKey> m_held;
};

} // namespace

Plan reconcile(const ReconcileInput &input)
{
    return Reconciler(input).run();
}

} // namespace OrvelanNimbal::FileProvider
