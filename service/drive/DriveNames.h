// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace OrvelanNimbal::Service::DriveNames {

// The longest name, in bytes of UTF-8, that file systems on the clients' side accept.
inline constexpr int maxNameBytes = 255;

// Throws DriveFailure::invalidName when `name` cannot name an item: empty or blank, "." or "..",
// holding "/" or a control character, longer than maxNameBytes, or not valid Unicode. Names are
// otherwise kept exactly as given, spaces included.
void check(const QString &name);

} // namespace OrvelanNimbal::Service::DriveNames
