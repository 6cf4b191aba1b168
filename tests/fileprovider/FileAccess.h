// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace OrvelanNimbal::Testing {

// Makes permission bits bind this process even when it runs as root (CI does): the capabilities
// that read and write past them are dropped from the calling thread, and from every thread it
// starts afterwards. Call it before any worker thread exists.
void honourFilePermissions();

// A file nobody may read, as a user's private file in the shared folder would be.
void makeUnreadable(const QString &path);
void makeReadable(const QString &path);

} // namespace OrvelanNimbal::Testing
