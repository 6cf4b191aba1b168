// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ItemRecord.h"

namespace OrvelanNimbal::FileProvider {

class LocalFolder;

// What is left to send and to receive for a domain, items and bytes, as a user asks it (the
// command line's status): the journal's rows against the disk as it is now. A move counts as
// one item without bytes; what is never synchronised (archived, left out) counts for nothing.
struct RemainingWork {
    qint64 itemsToSend = 0;
    qint64 bytesToSend = 0;
    qint64 itemsToReceive = 0;
    qint64 bytesToReceive = 0;

    // Blocking: it walks the whole folder. Run off the main thread.
    static RemainingWork of(const ItemTable &rows, const LocalFolder &folder);

    friend bool operator==(const RemainingWork &, const RemainingWork &) = default;
};

} // namespace OrvelanNimbal::FileProvider
