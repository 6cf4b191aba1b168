// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace OrvelanNimbal::Service {

class Database;
struct SchemaModule;

// The service's database in its data directory (created when missing, 0700), migrated to the
// latest version of each module (serviceSchema()). The directory holds password hashes, second-factor
// secrets and people's files: one that other users may enter is refused with a message that
// says how to close it. Throws on failure.
std::unique_ptr<Database> openDataDirectory(const std::filesystem::path &directory,
                                            const std::vector<SchemaModule> &modules);

// Claims the data directory for one serving process for as long as the process lives, so that
// what a running service is writing is never taken for a leftover. Throws when another holds it.
void claimDataDirectory(const std::filesystem::path &directory);

// Creates the folders of `folder` that are missing, each readable by its owner only, whatever
// the process's umask. Everything the service keeps lives in such folders.
void createPrivateFolders(const std::filesystem::path &folder, std::error_code &error);

// How many regular files lie under `folder`, at any depth; 0 when it does not exist.
int regularFilesUnder(const std::filesystem::path &folder);

} // namespace OrvelanNimbal::Service
