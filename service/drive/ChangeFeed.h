// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace OrvelanNimbal::Service {

class Connection;

// Where an account's change feed stands. Each mutation takes the next cursor and stamps what it
// touched with it, so "what changed after N" is every item stamped above N. The feed remembers
// only the latest mutations: a cursor older than that, or one it never handed out, is refused.
// Cursor 0 is never refused: every item is stamped above it, so "what changed after 0" is the
// whole drive as it is now, and a client refused an old cursor starts over from the feed rather
// than walking the tree folder by folder.
namespace ChangeFeed {

// How many mutations back a cursor is still answered.
inline constexpr std::int64_t retainedMutations = 10000;

struct Window {
    std::int64_t oldest = 0; // the oldest cursor still answered
    std::int64_t last = 0;   // the newest cursor, that of the latest mutation
    bool answers(std::int64_t cursor) const
    {
        return cursor == 0 || (cursor >= oldest && cursor <= last);
    }
};

Window window(Connection &connection, std::int64_t accountId);

// The cursor of a new mutation; the window slides so that it spans at most retainedMutations.
std::int64_t advance(Connection &connection, std::int64_t accountId);

// Forgets every mutation so far: only the newest cursor is still answered. Gives that cursor.
std::int64_t compact(Connection &connection, std::int64_t accountId);

} // namespace ChangeFeed

} // namespace OrvelanNimbal::Service
