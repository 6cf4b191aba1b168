// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ItemRecord.h"

#include <vector>

namespace OrvelanNimbal::FileProvider {

// What it takes to bring the disk in line with what the service says, decided from the journal
// alone: the service's side of each row against the disk's side (the last synchronised version).
// The disk itself is looked at only when the steps are carried out.
struct Plan {
    QHash<ItemKey, QString> placements; // where each item that belongs on disk goes
    QHash<ItemKey, QString> skips;      // items the service has that stay off the disk, and why
    qsizetype orphans = 0;              // items under a folder the journal does not know yet

    std::vector<ItemKey> folderCreations; // parents first
    std::vector<ItemKey> moves;           // on disk elsewhere than they belong, shallowest first
    std::vector<ItemKey> downloads;       // content missing or older than the service's
    std::vector<ItemKey> removals;        // on disk but not wanted there any more, deepest first
    std::vector<ItemKey> forgets;         // gone from the service, nothing of them on disk

    bool isEmpty() const
    {
        return folderCreations.empty() && moves.empty() && downloads.empty() && removals.empty()
               && forgets.empty();
    }
};

// Placement rules, in order: a name SafeNames refuses is skipped with its whole subtree; of two
// names that would be one file on a folder folding case or accents, the one already on disk (or
// else the older item) keeps it and the other is skipped; an archived file keeps the copy it has
// on disk, if any, and is never downloaded. Items whose parent is not known are left exactly as
// they are: a partial view of the drive never moves or removes anything.
Plan planConvergence(const ItemTable &items);

inline const QString skippedArchived = QStringLiteral("archivé");
inline const QString skippedNameClash = QStringLiteral("nom déjà pris dans le dossier");
inline const QString skippedParent = QStringLiteral("dans un dossier ignoré");

} // namespace OrvelanNimbal::FileProvider
