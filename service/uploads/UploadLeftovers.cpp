// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/UploadLeftovers.h"

#include "drive/DriveStore.h"
#include "foundation/Database.h"
#include "ServiceContext.h"
#include "storage/ContentStore.h"
#include "uploads/PartStore.h"
#include "uploads/UploadSessions.h"

#include <QString>

#include <charconv>
#include <set>
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

// "<parts>/<account>/<upload id>" folders that hold nothing recorded: their upload has no row
// any more (a kill between the row's removal and the folder's), or no part of it arrived whole
// (a kill in the middle of its first part, whose bytes went straight into their place).
std::vector<fs::path> unrecordedUploadFolders(ServiceContext &context, const fs::path &parts)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto &account : fs::directory_iterator(parts, error)) {
        std::error_code inner;
        for (const auto &upload : fs::directory_iterator(account.path(), inner)) {
            const QString id = QString::fromStdString(upload.path().filename().string());
            const bool recorded = context.database().read([&](Connection &connection) {
                return UploadSessions::findAnyAccount(connection, id).has_value()
                       && !UploadSessions::parts(connection, id).empty();
            });
            if (!recorded)
                found.push_back(upload.path());
        }
    }
    return found;
}

// Content files that no file of the drive names: a kill between the rename that put a new
// content in its place and the commit that gives it to a file, or between a replace's commit
// and the removal of the old content. Content lives in "<store>/drive/<account>/".
std::vector<fs::path> unreferencedContent(ServiceContext &context)
{
    const ContentStore &store = context.contentStore;
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto &account : fs::directory_iterator(store.root() / "drive", error)) {
        const std::string name = account.path().filename().string();
        std::int64_t accountId = 0;
        const auto [end, failed] =
            std::from_chars(name.data(), name.data() + name.size(), accountId);
        if (failed != std::errc() || end != name.data() + name.size())
            continue; // not an account's folder: not ours to judge
        const std::vector<QString> keys = context.database().read(
            [&](Connection &connection) { return DriveStore::contentKeys(connection, accountId); });
        std::set<fs::path> named;
        for (const QString &key : keys) {
            if (const auto path = store.pathOf(key))
                named.insert(*path);
        }
        std::error_code inner;
        for (const auto &content : fs::directory_iterator(account.path(), inner)) {
            if (content.is_regular_file() && content.path().extension() != ".partial"
                && !named.contains(content.path()))
                found.push_back(content.path());
        }
    }
    return found;
}

} // namespace

int removeUploadLeftovers(ServiceContext &context)
{
    const fs::path parts = context.partStore.root();
    std::vector<fs::path> leftovers = partialFilesUnder(context.contentStore.root());
    for (const fs::path &file : partialFilesUnder(parts))
        leftovers.push_back(file);
    for (const fs::path &folder : unrecordedUploadFolders(context, parts))
        leftovers.push_back(folder);
    for (const fs::path &file : unreferencedContent(context))
        leftovers.push_back(file);
    int removed = 0;
    for (const fs::path &leftover : leftovers) {
        std::error_code error;
        if (fs::remove_all(leftover, error) > 0)
            ++removed;
    }
    return removed;
}

} // namespace OrvelanNimbal::Service
