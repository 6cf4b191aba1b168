// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drive/DriveRecords.h"

#include <cstdint>

namespace OrvelanNimbal::Service {

class Connection;

// The items a request names, or DriveFailure::notFound. An item of another account is not
// found either: nothing tells a client that an id exists elsewhere.
namespace DriveLookups {

// A folder outside the trash: one can list it, rename it, move it, put things in it.
FolderRecord liveFolder(Connection &connection, std::int64_t accountId, std::int64_t id);
// The root, or a folder outside the trash.
void requireContainer(Connection &connection, std::int64_t accountId, std::int64_t id);
// A file outside the trash: one can rename or move it.
FileRecord liveFile(Connection &connection, std::int64_t accountId, std::int64_t id);
// A file in or out of the trash: its content stays reachable until it is deleted for good.
FileRecord anyFile(Connection &connection, std::int64_t accountId, std::int64_t id);
FolderRecord anyFolder(Connection &connection, std::int64_t accountId, std::int64_t id);

} // namespace DriveLookups

} // namespace OrvelanNimbal::Service
