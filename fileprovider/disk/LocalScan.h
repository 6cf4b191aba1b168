// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disk/LocalFolder.h"

#include <QHash>
#include <QString>

namespace OrvelanNimbal::FileProvider {

// Everything in a domain's folder that may go to the drive: real files and folders under names
// the drive takes, by relative path, and by inode so that a rename is seen as one. Symbolic
// links, sockets, fifos and devices are left out, and so is everything beneath a folder that is
// a link; so are the names the drive never synchronises and the extension's own files. A name
// that is not valid UTF-8 is left out with a log line: it is never sent in a form that would
// come back as another name.
struct LocalScan {
    QHash<QString, LocalEntry> entries;
    QHash<quint64, QString> pathsByInode;
    int refusedNames = 0;      // not UTF-8, or refused by SafeNames
    QList<QString> unreadable; // folders the walk could not open ("" for the root itself)

    // Walks the whole folder, directory by directory. Blocking: run off the main thread.
    static LocalScan of(const QString &root);

    // Whether `path` lies in or under a folder the walk could not read: what it holds was not
    // seen, which is never a deletion.
    bool isUnseen(const QString &path) const;
};

} // namespace OrvelanNimbal::FileProvider
