// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace OrvelanNimbal::FileProvider {

class EngineContext;

// What became of one path of the domain's folder, and why, as a user asks it (the command
// line's file status).
struct ItemStatus {
    enum class State {
        synchronised, // the drive has it as it is on disk
        waiting,      // not on the drive yet, or changed since: it goes with a pass to come
        sending,      // on its way now
        conflict,     // a conflict copy: the user's version kept beside the drive's
        leftOut,      // never synchronised: archived, a name the drive never takes, unreadable,
                      // refused by the drive, a link
        unknown,      // nothing at that path, on disk or in the journal
    };

    State state = State::unknown;
    QString reason; // in French: why it waits or is left out; empty otherwise

    friend bool operator==(const ItemStatus &, const ItemStatus &) = default;
};

// Read from the journal, its recorded failures and the disk; never from the network.
ItemStatus statusOf(EngineContext &context, const QString &path);

} // namespace OrvelanNimbal::FileProvider
