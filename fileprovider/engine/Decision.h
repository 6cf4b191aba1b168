// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

namespace OrvelanNimbal::FileProvider {

// What each side did to one item since the base, reduced to what decides: the disk as the scan
// and the search for renames found it, the service as its feed last said.
struct ItemSides {
    enum class Disk {
        same,     // where the base left it, or moved, with the base's content
        changed,  // its content differs from the base's
        gone,     // deleted here
        unseen,   // in a folder the scan could not read, or beneath a link
        replaced, // a link, socket, fifo or device at its place
        none,     // no base, and nothing at its place on disk
        found,    // no base, and something of its kind already at its place (new on both sides)
    };
    enum class Service {
        same,
        changed,     // other bytes
        versionOnly, // the same bytes saved again: a newer version, nothing to fetch
        trashed,
        archived, // a file in cold storage: listed, never fetched
    };

    bool folder = false;
    Disk disk = Disk::same;
    bool movedHere = false; // renamed or moved on disk
    Service service = Service::same;
    bool movedThere = false; // renamed or moved on the service
    bool sameTarget = false; // moved on both sides, to the same parent and name
};

// What becomes of the item: where it goes, what happens to its content, and whether it stays.
// A pure decision; the executor carries it out, checking each precondition again.
struct Decision {
    enum class Place {
        stay,
        followService, // the disk takes the service's place (the service's name wins)
        followDisk,    // the service takes the disk's place
        record,        // moved alike on both sides: the base takes the place
    };
    enum class Content {
        none,
        upload,        // sent with the base's version as precondition
        download,      // fetched into its place
        compare,       // changed on both sides: the same bytes are recorded, else a conflict
        recordVersion, // the service's newer version of the same bytes becomes the base's
        keepAside,     // an edit the service cannot take (archived): kept as a conflict copy
    };
    enum class Fate {
        keep,
        trashThere, // deleted here: trashed on the service
        removeHere, // trashed there: its unchanged copy on disk goes
        forget,     // gone from both sides: its row goes
        release,    // trashed there but changed or moved here: sent again as a new item
        restore,    // deleted here but changed there: the service's version comes back
        letGo,      // archived there, deleted here: the service keeps it, the disk has none
        leave,      // nothing is known of the disk: nothing is done
        leaveLink,  // a link stands at its place: left, the item kept on the service
    };

    Place place = Place::stay;
    Content content = Content::none;
    Fate fate = Fate::keep;

    friend bool operator==(const Decision &, const Decision &) = default;
};

// The table of what both sides did: a deletion wins only over an item the other side left
// alone; for the place, the service's name wins when both moved it apart; equal content is
// never a conflict; an edit is never lost (a conflict copy, or the item sent again as new).
Decision decide(const ItemSides &sides);

} // namespace OrvelanNimbal::FileProvider
