// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Decision.h"

namespace OrvelanNimbal::FileProvider {

namespace {

using Disk = ItemSides::Disk;
using Service = ItemSides::Service;
using Place = Decision::Place;
using Content = Decision::Content;
using Fate = Decision::Fate;

// No base: the item exists on the service only, or on both sides without ever having been
// synchronised (a lost journal, or the same file made on both sides).
Decision decideWithoutBase(const ItemSides &sides)
{
    Decision decision;
    if (sides.service == Service::trashed) {
        decision.fate = Fate::forget;
        return decision;
    }
    if (sides.disk == Disk::unseen || sides.disk == Disk::replaced) {
        decision.fate = Fate::leave;
        return decision;
    }
    const bool there = sides.disk == Disk::found;
    if (sides.folder) {
        decision.place = there ? Place::record : Place::followService;
        return decision;
    }
    if (sides.service == Service::archived) {
        // Never fetched; a file of the user's under its name cannot go up under it either.
        decision.content = there ? Content::keepAside : Content::none;
        return decision;
    }
    decision.place = there ? Place::record : Place::followService;
    decision.content = there ? Content::compare : Content::download;
    return decision;
}

Decision decideGone(const ItemSides &sides)
{
    Decision decision;
    switch (sides.service) {
    case Service::trashed:
        decision.fate = Fate::forget;
        break;
    case Service::archived:
        decision.fate = Fate::letGo;
        break;
    case Service::same:
        // Only moved there: it comes back at its new place, as a change there would.
        decision.fate = sides.movedThere ? Fate::restore : Fate::trashThere;
        break;
    case Service::changed:
    case Service::versionOnly:
        decision.fate = Fate::restore;
        break;
    }
    if (decision.fate == Fate::restore) {
        decision.place = Place::followService;
        decision.content = sides.folder ? Content::none : Content::download;
    }
    return decision;
}

Place placeOf(const ItemSides &sides)
{
    if (sides.movedHere && sides.movedThere)
        return sides.sameTarget ? Place::record : Place::followService;
    if (sides.movedThere)
        return Place::followService;
    if (sides.movedHere)
        return Place::followDisk;
    return Place::stay;
}

Content contentOf(const ItemSides &sides)
{
    const bool changedHere = sides.disk == Disk::changed;
    switch (sides.service) {
    case Service::same:
        return changedHere ? Content::upload : Content::none;
    case Service::versionOnly:
        // The bytes are the base's: an edit here goes with the service's newer version as its
        // precondition, and without one the journal only takes that version.
        return changedHere ? Content::upload : Content::recordVersion;
    case Service::changed:
        return changedHere ? Content::compare : Content::download;
    case Service::archived:
        return changedHere ? Content::keepAside : Content::none;
    case Service::trashed:
        break;
    }
    return Content::none;
}

} // namespace

Decision decide(const ItemSides &sides)
{
    if (sides.disk == Disk::none || sides.disk == Disk::found)
        return decideWithoutBase(sides);
    Decision decision;
    switch (sides.disk) {
    case Disk::unseen:
        decision.fate = Fate::leave;
        return decision;
    case Disk::replaced:
        decision.fate = sides.service == Service::trashed ? Fate::forget : Fate::leaveLink;
        return decision;
    case Disk::gone:
        return decideGone(sides);
    default:
        break;
    }
    if (sides.service == Service::trashed) {
        // Unchanged and in place, it goes; otherwise the work here is sent again as new.
        const bool untouched = sides.disk == Disk::same && !sides.movedHere;
        decision.fate = untouched ? Fate::removeHere : Fate::release;
        return decision;
    }
    decision.place = placeOf(sides);
    if (!sides.folder)
        decision.content = contentOf(sides);
    return decision;
}

} // namespace OrvelanNimbal::FileProvider
