// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/UploadLeftovers.h"

#include "foundation/Database.h"
#include "foundation/ServiceContext.h"
#include "storage/ContentStore.h"
#include "uploads/PartStore.h"
#include "uploads/UploadSessions.h"

#include <QString>

#include <vector>

namespace OrvelanNimbal::Service {

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> partialFilesUnder(const fs::path &folder)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (auto entry = fs::recursive_directory_iterator(folder, error);
         !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
        if (entry->is_regular_file() && entry->path().extension() == ".partial")
            found.push_back(entry->path());
    }
    return found;
}

// "<parts>/<account>/<upload id>" folders whose upload has no row any more (a kill between
// the row's removal and the folder's).
std::vector<fs::path> orphanUploadFolders(ServiceContext &context, const fs::path &parts)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto &account : fs::directory_iterator(parts, error)) {
        std::error_code inner;
        for (const auto &upload : fs::directory_iterator(account.path(), inner)) {
            const QString id = QString::fromStdString(upload.path().filename().string());
            const bool known = context.database().read([&](Connection &connection) {
                return UploadSessions::findAnyAccount(connection, id).has_value();
            });
            if (!known)
                found.push_back(upload.path());
        }
    }
    return found;
}

} // namespace

int removeUploadLeftovers(ServiceContext &context)
{
    const fs::path parts = context.component<PartStore>().root();
    std::vector<fs::path> leftovers = partialFilesUnder(context.component<ContentStore>().root());
    for (const fs::path &file : partialFilesUnder(parts))
        leftovers.push_back(file);
    for (const fs::path &folder : orphanUploadFolders(context, parts))
        leftovers.push_back(folder);
    int removed = 0;
    for (const fs::path &leftover : leftovers) {
        std::error_code error;
        if (fs::remove_all(leftover, error) > 0)
            ++removed;
    }
    return removed;
}

} // namespace OrvelanNimbal::Service
