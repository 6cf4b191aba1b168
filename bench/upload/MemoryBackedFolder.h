// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTemporaryDir>

#include <memory>

namespace Bench {

// A folder in memory (/dev/shm) for a benchmark's files and the service's data, made the
// process's TMPDIR, when the machine has `bytesNeeded` there; otherwise nothing, and $TMPDIR
// is used. On disk, the writeback of one round's gigabytes slows whichever transfer comes
// next, and the figures then measure the disk's mood rather than the two programs.
std::unique_ptr<QTemporaryDir> memoryBackedFolder(const char *name, qint64 bytesNeeded);

} // namespace Bench
