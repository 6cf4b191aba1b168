// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/Decision.h"
#include "engine/LocalObservations.h"
#include "engine/Plan.h"

#include <functional>

namespace OrvelanNimbal::FileProvider {

// Why an item stays out of the folder, as the journal and the item's status say it.
inline const QString skippedArchived = QStringLiteral("archivé");
inline const QString skippedParent = QStringLiteral("dans un dossier ignoré");
inline const QString skippedLink = QStringLiteral("un lien ou un fichier spécial est à sa place");

struct ReconcileInput {
    const ItemTable &rows;
    const LocalObservations &disk;
    const LocalScan &scan;
    // Whether the folder takes names that differ only by case or accents for one: only then
    // does the second of two such names of a folder get another name.
    bool foldsNames = false;
    // The conflict name for an item, for such a clash.
    std::function<QString(const QString &name)> conflictName;
    // Items on disk the rows leave out, when they are those of part of the folder: what a
    // share of deletions is measured against.
    qsizetype placedElsewhere = 0;
};

// The whole pass's decisions, made at once and without touching anything: for every row of the
// journal and every new entry of the disk, what to do on either side (see Decision), placed in
// the tree. Names are taken as they are, byte for byte; names the disk does not take are left
// out with their subtree; items under a folder the journal does not know are left as they are.
// Deletions are held back when they look like an accident rather than a person: more than
// massDeletionFloor items and massDeletionShare of them at once, or everything of a folder of
// more than massDeletionFloor items that is still there.
Plan reconcile(const ReconcileInput &input);

inline constexpr qsizetype massDeletionFloor = 50;
inline constexpr double massDeletionShare = 0.3;

} // namespace OrvelanNimbal::FileProvider
