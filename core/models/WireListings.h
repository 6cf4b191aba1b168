// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Listing answers turned into models as they are read: each record is converted as soon as it
// is decoded, so that a 100,000-file answer never exists both as records and as models. The
// result is the same as decoding the whole list of records, then converting each.

#include "models/DriveModels.h"

#include <QByteArray>

#include <vector>

namespace OrvelanNimbal {

// A JSON array of file records. Throws DriveError::decoding, naming the element that failed.
std::vector<DriveFile> filesFromWireListing(const QByteArray &json);
// A JSON array of folder records.
std::vector<DriveFolder> foldersFromWireListing(const QByteArray &json);

} // namespace OrvelanNimbal
