// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>
#include <QString>

namespace OrvelanNimbal::FileProvider {

class Journal;
class LocalFolder;

// What became of one path of the domain's folder, and why, as a user asks it (the command
// line's file status, through the bus).
struct ItemStatus {
    // From the best to the worst: a folder takes the worst state of what it holds.
    enum class State {
        synced,          // the drive has it as it is on disk
        pendingDownload, // the drive has a version this disk does not have yet
        uploading,       // on its way now
        pendingUpload,   // not on the drive yet, or changed since: it goes with a pass to come
        conflict,        // a conflict copy: the user's version kept beside the drive's
        excluded,        // never synchronised (see Reason)
        unknown,         // nothing at that path, on disk or in the journal
    };
    // Why it waits or is left out, where there is something to say.
    enum class Reason {
        none,
        beingWritten, // held open for writing: sent once closed and quiet
        archived,     // the drive keeps it in cold storage: available from the web only
        excludedName, // a name the drive never takes (editor litter, ours, too long…)
        unreadable,   // the disk refused to read it
        refused,      // the drive refused it; tried again much later, or once it changes
        specialFile,  // a link, a socket, a device: neither file nor folder
    };

    State state = State::unknown;
    Reason reason = Reason::none;

    // The words of the bus and of `nimbal filestatus --json`: stable.
    static QString word(State state);
    static QString word(Reason reason);

    friend bool operator==(const ItemStatus &, const ItemStatus &) = default;
};

// Where a status is read from: the domain's journal (a connection of the caller's own), its
// folder, and the paths being sent right now. Never the network.
struct StatusSources {
    Journal &journal;
    const LocalFolder &folder;
    QSet<QString> sending;
};

// `path` is relative to the domain's folder, names separated by "/"; "" is the folder itself.
// Blocking: it reads the disk, the whole subtree for a folder. Run off the main thread.
ItemStatus statusOf(const StatusSources &sources, const QString &path);

} // namespace OrvelanNimbal::FileProvider
