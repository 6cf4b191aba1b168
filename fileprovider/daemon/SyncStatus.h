// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disk/LocalFolder.h"
#include "engine/ItemRecord.h"

#include <QString>

namespace OrvelanNimbal::FileProvider {

// What the extension can tell of a domain between (or during) passes: the state of one path,
// and what is left to send and to receive. Read from the journal's rows (the last synchronised
// version of each item and what the service last said of it) against the disk as it is now.
//
// The journal keeps no failure per item, so an item the service refused reads as waiting to be
// sent; this is the one place to change when it does. Blocking (it reads the disk): run off the
// main thread.
class SyncStatus {
public:
    // From the best to the worst: a folder takes the worst state of what it holds.
    enum class State {
        synced,
        pendingDownload,
        uploading,
        pendingUpload,
        conflict,
        excluded,
        unknown
    };

    struct PathStatus {
        State state = State::unknown;
        QString reason; // why it is waiting or left out; empty when there is nothing to say

        friend bool operator==(const PathStatus &, const PathStatus &) = default;
    };

    struct Remaining {
        qint64 itemsToSend = 0;
        qint64 bytesToSend = 0;
        qint64 itemsToReceive = 0;
        qint64 bytesToReceive = 0;

        friend bool operator==(const Remaining &, const Remaining &) = default;
    };

    // `uploading`: the domain is sending contents right now.
    SyncStatus(QString root, ItemTable items, bool uploading);

    // `relative` to the domain's folder, names separated by "/"; "" is the folder itself.
    PathStatus of(const QString &relative) const;
    Remaining remaining() const;

    // The words of the bus and of `nimbal filestatus --json`.
    static QString word(State state);

private:
    PathStatus ofEntry(const QString &relative, const LocalEntry &entry) const;
    PathStatus ofMissing(const QString &relative) const;
    PathStatus ofFolder(const QString &relative) const;
    const ItemRecord *atLocalPath(const QString &relative) const;

    LocalFolder m_folder;
    ItemTable m_items;
    bool m_uploading;
    QHash<QString, ItemKey> m_byLocalPath;  // the items placed on disk
    QHash<QString, ItemKey> m_byRemotePath; // every item, where the service has it
    QHash<quint64, ItemKey> m_byInode;      // the items placed on disk, to see them moved
};

} // namespace OrvelanNimbal::FileProvider
