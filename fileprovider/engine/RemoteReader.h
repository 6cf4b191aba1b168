// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/EngineContext.h"

#include <QCoro/QCoroTask>

namespace OrvelanNimbal::FileProvider {

// Brings the journal's service side up to date, committed together with the feed's cursor.
// Normally the feed from the journal's cursor. When the service forgot that cursor (410), or
// there is none: the feed from 0, which a service answers with its whole state and its newest
// cursor. Only where that is refused too is the tree walked, folder by folder; the feed from 0
// is then asked again at the following passes, and a walk is made at most every walkInterval.
// A walk is no snapshot (an item moved during it is missed in both folders): an item it does
// not list is confirmed gone by a second walk before its row says so.
//
// Nothing is ever taken for removed from a failed, partial or empty listing; a complete one
// that would remove more than massRemovalShare of the items (beyond massRemovalFloor) is held
// back until the next complete listing, asked for separately, says the same; one that would
// remove everything, always.
// Throws DriveError when the service cannot be read (nothing changed), OperationCancelled.
class RemoteReader {
public:
    struct Outcome {
        bool complete = false; // the whole drive was read, not only what changed
        bool read = true;      // false: nothing was read this pass (a walk not due yet)
        bool held = false;     // removals held back until the next complete read
        // What changed since the previous read, when only that was read.
        QSet<ItemKey> changed;
        // Folders among them whose place changed (renamed, moved, trashed, restored, new):
        // everything beneath them is concerned.
        QSet<ItemKey> foldersMoved;

        static Outcome of(bool complete, bool read, bool held = false)
        {
            Outcome outcome;
            outcome.complete = complete;
            outcome.read = read;
            outcome.held = held;
            return outcome;
        }
    };

    static constexpr qsizetype massRemovalFloor = 50;
    static constexpr double massRemovalShare = 0.3;
    static constexpr std::chrono::minutes walkInterval{15};

    explicit RemoteReader(EngineContext &context);

    QCoro::Task<Outcome> read(CancellationToken cancel);

private:
    struct Walk {
        std::vector<DriveFolder> folders;
        std::vector<DriveFile> files;
        bool complete = true; // no folder listed as many files as a listing holds
    };

    QCoro::Task<Outcome> readFromStart(CancellationToken cancel);
    QCoro::Task<Walk> walk(CancellationToken cancel);
    // Of the items a walk did not list, those a second walk does not list either.
    QCoro::Task<std::vector<ItemKey>> confirmedGone(std::vector<ItemKey> missing,
                                                    CancellationToken cancel);
    // Records what the service said. With `known`, the listing is the whole drive: the rows it
    // leaves out are the removal candidates, given back.
    std::vector<ItemKey> apply(const std::vector<DriveFolder> &folders,
                               const std::vector<DriveFile> &files, ItemTable *known,
                               Outcome *outcome = nullptr);
    // Marks what a complete listing no longer has as gone; false when that was held back.
    bool markGone(const std::vector<ItemKey> &gone, const ItemTable &known);

    EngineContext &m_context;
};

} // namespace OrvelanNimbal::FileProvider
