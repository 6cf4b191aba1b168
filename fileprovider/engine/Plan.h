// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ItemRecord.h"

#include <optional>
#include <vector>

namespace OrvelanNimbal::FileProvider {

// Where an item goes: under a drive item, under a folder of the disk the service does not have
// yet (by its path), or at the top; and its name there.
struct Target {
    std::optional<ItemKey> parent; // a folder of the journal
    QString newParentPath;         // else a folder new here; both empty: the top
    QString name;

    friend bool operator==(const Target &, const Target &) = default;
};

// One thing to do for one item, decided from the journal, the disk and the service, and carried
// out on its own: its failure is its own, and it checks its preconditions again when its turn
// comes. Items are named by key; what the disk has and the service does not, by path.
struct Action {
    enum class Kind {
        // The journal only
        skip,          // left out of the folder, for `reason`
        forget,        // the row goes
        release,       // the row goes; what it had on disk is new and goes up as such
        recordVersion, // the service's version of the same bytes becomes the base's
        recordPlace,   // the base takes the place on disk (moved alike, adopted, carried along)
        letGo,         // the base goes; the service keeps the item
        // The tree
        makeHere,    // a folder of the service made on disk
        moveHere,    // the disk follows the service's rename or move
        moveThere,   // the service follows the disk's
        createThere, // a folder of the disk made on the service
        // Contents
        download,
        upload,    // new content for an item, with the base's version as precondition
        uploadNew, // a file of the disk sent as a new item
        compare,   // both sides have content: the same is recorded, else a conflict
        keepAside, // what is on disk is kept beside under a conflict name
        // Removals
        removeHere,
        trashThere,
    };

    Kind kind = Kind::skip;
    ItemKey key;   // id 0 for something of the disk only
    QString path;  // where it is on disk now, when it is
    Target target; // where it goes
    QString reason;
    qsizetype depth = 0; // of where it ends, so that parents come before children

    bool concernsDiskOnly() const { return key.id == 0; }
};

struct Plan {
    std::vector<Action> actions;
    qsizetype heldDeletions = 0; // deletions on disk not sent (the mass-deletion guard)
    qsizetype orphans = 0;       // items under a folder the journal does not know yet
};

} // namespace OrvelanNimbal::FileProvider
