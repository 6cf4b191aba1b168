// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/DataDirectory.h"

#include "foundation/Database.h"
#include "foundation/Schema.h"

namespace OrvelanNimbal::Service {

std::unique_ptr<Database> openDataDirectory(const std::filesystem::path &directory)
{
    std::filesystem::create_directories(directory);
    auto database = Database::open(directory / "nimbal.sqlite3");
    migrate(*database);
    return database;
}

} // namespace OrvelanNimbal::Service
