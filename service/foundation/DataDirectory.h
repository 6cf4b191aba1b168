// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <memory>

namespace OrvelanNimbal::Service {

class Database;

// The service's database in its data directory (created when missing), migrated to the latest
// schema of every registered module. Throws on failure.
std::unique_ptr<Database> openDataDirectory(const std::filesystem::path &directory);

// How many regular files lie under `folder`, at any depth; 0 when it does not exist.
int regularFilesUnder(const std::filesystem::path &folder);

} // namespace OrvelanNimbal::Service
