// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace OrvelanNimbal {

// Puts the verified release at `release` in the place of the AppImage at `image`: written next
// to it under a temporary name with the old image's permissions, flushed to disk, then renamed
// over it. Until that rename the old image is untouched, and after it the new one is whole; a
// running copy of the old image keeps running. Throws UpdateError::installFailed, leaving no
// temporary file behind. Copies the whole release: call it off the main thread.
void replaceAppImage(const QString &release, const QString &image);

} // namespace OrvelanNimbal
