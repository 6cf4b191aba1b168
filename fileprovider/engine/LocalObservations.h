// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disk/LocalScan.h"
#include "engine/ItemRecord.h"

#include <vector>

namespace OrvelanNimbal::FileProvider {

// Where each item the journal placed on disk is now, as a scan found it: the first step of a
// pass's decisions, before anything is compared with the service.
struct Observation {
    enum class State {
        present,  // at `path` (its base path, or where the user renamed or moved it)
        absent,   // nowhere: deleted here
        unseen,   // in a folder the scan could not read, beneath a link, or parked by a run
                  // cut short: nothing known
        replaced, // a link, socket, fifo or device stands at its place: left as it is
    };
    State state = State::absent;
    QString path;
    LocalEntry entry;
};

struct LocalObservations {
    QHash<ItemKey, Observation> items; // every row with a base on disk
    QHash<QString, ItemKey> claims;    // path on disk → the row found there
    std::vector<QString> unclaimed;    // what no row claims: new here, parents first
};

// An item is found by its inode first, so that a rename or a move (ours cut short by a kill, or
// the user's) is one, whatever now stands at its old path: where the inode is, with the same
// kind (and, for a file, the same size and date — an inode the system handed to a new file
// is not the old one). Failing that, by its base path, where a file saved by replacement
// (a new inode) is the same item with new content. Everything no row claims is new.
LocalObservations observe(const ItemTable &rows, const LocalScan &scan);

// Whether what the disk shows is still the base's version: the same size, date and inode. Any
// write since (a save in place, a replacement, a touch) tells it apart.
bool matchesBase(const BaseState &base, const LocalEntry &entry);

} // namespace OrvelanNimbal::FileProvider
