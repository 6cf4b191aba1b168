// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disk/LocalFolder.h"

#include <QHash>
#include <QSet>
#include <QString>

namespace OrvelanNimbal::FileProvider {

// The part of a domain's folder a scan reads when the watcher said where things changed.
struct ScanParts {
    // Folders whose entries are read; a folder among them is gone into only when it is not the
    // one `known` has at that place (new here, moved in, replaced): then with all it holds.
    QSet<QString> listed; // "" for the root
    QHash<QString, quint64> known; // folders at their place, by inode
    // Folders read with everything beneath them.
    QSet<QString> walked;
    // Single entries, each looked at on its own when no listing above found it.
    QList<QString> entries;
};

// Everything in a domain's folder that may go to the drive: real files and folders under names
// the drive takes, by relative path, and by inode so that a rename is seen as one. Names are
// read byte for byte (a leading U+FEFF included). Symbolic links, sockets, fifos and devices
// are listed apart and never followed; the names the drive never synchronises are left out; the
// extension's own temporaries are listed apart, never as the user's. A name that is not valid
// UTF-8 is left out with a log line: it is never sent in a form that would come back as another
// name.
struct LocalScan {
    QHash<QString, LocalEntry> entries;
    QHash<quint64, QString> pathsByInode;
    QSet<QString> others;       // links, sockets, fifos, devices
    QList<QString> temporaries; // ours (SafeNames::temporaryKind), not looked into
    // Items parked under a name of ours while their place was freed, by inode: put back at the
    // next start, and until then never taken for deleted.
    QHash<quint64, QString> parkedByInode;
    int refusedNames = 0;       // not UTF-8, or refused by SafeNames
    QList<QString> unreadable;  // folders the walk could not open ("" for the root itself)

    // Walks the whole folder, directory by directory. Blocking: run off the main thread.
    static LocalScan of(const QString &root);
    // Reads only `parts` of the folder, never through a link. Blocking: run off the main thread.
    static LocalScan of(const QString &root, const ScanParts &parts);
    // Looks at single entries more, as `parts.entries` are.
    void add(const QString &root, const QList<QString> &paths);

    // Whether `path` lies in a folder the walk could not read, or beneath a link: what is there
    // was not seen, which is never a deletion.
    bool isUnseen(const QString &path) const;
    // Whether `path` lies beneath a link (or another special file) standing for a folder.
    bool isBeneathLink(const QString &path) const;
};

} // namespace OrvelanNimbal::FileProvider
