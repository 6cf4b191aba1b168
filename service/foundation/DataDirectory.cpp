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

int regularFilesUnder(const std::filesystem::path &folder)
{
    std::error_code error;
    int count = 0;
    for (auto entry = std::filesystem::recursive_directory_iterator(folder, error);
         !error && entry != std::filesystem::recursive_directory_iterator();
         entry.increment(error)) {
        if (entry->is_regular_file())
            ++count;
    }
    return count;
}

} // namespace OrvelanNimbal::Service
