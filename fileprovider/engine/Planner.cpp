// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Planner.h"

#include "disk/LocalFolder.h"
#include "disk/SafeNames.h"

#include <QSet>

#include <algorithm>

namespace OrvelanNimbal::FileProvider {

namespace {

qsizetype depth(const QString &path)
{
    return path.count(u'/');
}

class Placer {
public:
    Placer(const ItemTable &items, Plan &plan)
        : m_items(items)
        , m_plan(plan)
    {
        for (const ItemRecord &record : items) {
            if (record.remote.present)
                m_children[record.remote.parentID].append(record.key);
        }
    }

    // Folder by folder from `folderID` down, with a list of folders still to visit rather than
    // a call per level: the tree's depth is the service's to decide.
    void placeTree(qint64 folderID, const QString &folderPath)
    {
        std::vector<std::pair<qint64, QString>> pending{{folderID, folderPath}};
        while (!pending.empty()) {
            auto [id, path] = std::move(pending.back());
            pending.pop_back();
            placeChildren(id, path, pending);
        }
    }

private:
    void placeChildren(qint64 folderID, const QString &folderPath,
                       std::vector<std::pair<qint64, QString>> &pending)
    {
        const auto found = m_children.constFind(folderID);
        if (found == m_children.cend())
            return;
        QHash<QString, ItemKey> owners; // collision key → the child that keeps the name
        QList<ItemKey> accepted;
        for (const ItemKey &key : *found) {
            const ItemRecord &record = m_items[key];
            if (const auto refusal = SafeNames::check(record.remote.name)) {
                skipSubtree(key, SafeNames::describe(*refusal));
                continue;
            }
            const QString collision = SafeNames::collisionKey(record.remote.name);
            const auto owner = owners.constFind(collision);
            if (owner == owners.cend()) {
                owners.insert(collision, key);
                accepted.append(key);
                continue;
            }
            const ItemKey winner = preferred(*owner, key, folderPath);
            const ItemKey loser = winner == key ? *owner : key;
            owners[collision] = winner;
            accepted.replace(accepted.indexOf(*owner), winner);
            skipSubtree(loser, skippedNameClash);
        }
        for (const ItemKey &key : std::as_const(accepted)) {
            const ItemRecord &record = m_items[key];
            const QString path = childPath(folderPath, record.remote.name);
            if (!key.isFolder() && !isSynchronizable(record.remote.storageClass)
                && !record.local.isOnDisk()) {
                m_plan.skips.insert(key, skippedArchived);
                continue;
            }
            m_plan.placements.insert(key, path);
            if (key.isFolder())
                pending.emplace_back(key.id, path);
        }
    }

    // The child already at that place keeps it; otherwise the older item (smaller id).
    ItemKey preferred(const ItemKey &a, const ItemKey &b, const QString &folderPath) const
    {
        const auto isThere = [&](const ItemKey &key) {
            const ItemRecord &record = m_items[key];
            return record.local.path == childPath(folderPath, record.remote.name);
        };
        if (isThere(a) != isThere(b))
            return isThere(a) ? a : b;
        return std::tie(a.id, a.kind) < std::tie(b.id, b.kind) ? a : b;
    }

    void skipSubtree(const ItemKey &key, const QString &reason)
    {
        m_plan.skips.insert(key, reason);
        std::vector<qint64> folders;
        if (key.isFolder())
            folders.push_back(key.id);
        while (!folders.empty()) {
            const qint64 folder = folders.back();
            folders.pop_back();
            for (const ItemKey &child : m_children.value(folder)) {
                m_plan.skips.insert(child, skippedParent);
                if (child.isFolder())
                    folders.push_back(child.id);
            }
        }
    }

    const ItemTable &m_items;
    Plan &m_plan;
    QHash<qint64, QList<ItemKey>> m_children;
};

} // namespace

Plan planConvergence(const ItemTable &items)
{
    Plan plan;
    Placer(items, plan).placeTree(0, QString());

    for (const ItemRecord &record : items) {
        const ItemKey &key = record.key;
        const auto placement = plan.placements.constFind(key);
        if (placement != plan.placements.cend()) {
            if (!record.local.isOnDisk()) {
                if (key.isFolder())
                    plan.folderCreations.push_back(key);
            } else if (record.local.path != *placement) {
                plan.moves.push_back(key);
            }
            if (!key.isFolder() && isSynchronizable(record.remote.storageClass)
                && !record.contentIsCurrent())
                plan.downloads.push_back(key);
        } else if (record.remote.present && !plan.skips.contains(key)) {
            ++plan.orphans; // somewhere we cannot see yet: left alone
        } else if (record.local.isOnDisk()) {
            plan.removals.push_back(key);
        } else if (!record.remote.present) {
            plan.forgets.push_back(key);
        }
    }

    const auto byPlacementDepth = [&](const ItemKey &a, const ItemKey &b) {
        return depth(plan.placements[a]) < depth(plan.placements[b]);
    };
    std::stable_sort(plan.folderCreations.begin(), plan.folderCreations.end(), byPlacementDepth);
    std::stable_sort(plan.moves.begin(), plan.moves.end(), byPlacementDepth);
    std::stable_sort(plan.removals.begin(), plan.removals.end(),
                     [&](const ItemKey &a, const ItemKey &b) {
                         return depth(items[a].local.path) > depth(items[b].local.path);
                     });
    return plan;
}

} // namespace OrvelanNimbal::FileProvider
