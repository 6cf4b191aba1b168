// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

namespace Bench {

// The answer of a file listing of `fileCount` files, as the service would send it for one big
// folder: compact JSON, the same bytes for the same count on every run. Names mix plain ASCII,
// accented letters and the odd escaped quote; about a third of the files have thumbnails (a
// single key or a JSON array of keys); a few are trashed or archived. Keeps 64 bytes of spare
// capacity after the end, as the transport does.
QByteArray generateFileListing(int fileCount);

} // namespace Bench
