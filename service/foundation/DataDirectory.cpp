// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/DataDirectory.h"

#include "foundation/Database.h"
#include "foundation/Schema.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace OrvelanNimbal::Service {

namespace {

constexpr mode_t privateFolder = 0700;
constexpr mode_t privateFile = 0600;

[[noreturn]] void refuse(const std::string &message)
{
    throw std::runtime_error(message);
}

void requirePrivate(const std::filesystem::path &directory)
{
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0)
        refuse("dossier de données « " + directory.string()
               + " » illisible : " + std::strerror(errno));
    if (!S_ISDIR(status.st_mode))
        refuse("« " + directory.string() + " » n'est pas un dossier");
    const mode_t others = status.st_mode & 077;
    if (others != 0) {
        char mode[8];
        std::snprintf(mode, sizeof(mode), "%03o", unsigned(status.st_mode & 0777));
        refuse("le dossier de données « " + directory.string()
               + " » est ouvert à d'autres utilisateurs (droits " + mode
               + ") alors qu'il garde des mots de passe, des secrets et des fichiers : "
                 "fermez-le avec « chmod 700 "
               + directory.string() + " » puis relancez");
    }
}

// SQLite creates its write-ahead log and shared memory with the database's own permissions:
// a database born private keeps them private.
void createPrivately(const std::filesystem::path &file)
{
    const int descriptor = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, privateFile);
    if (descriptor < 0)
        refuse("création de " + file.string() + " impossible : " + std::strerror(errno));
    ::close(descriptor);
}

} // namespace

void createPrivateFolders(const std::filesystem::path &folder, std::error_code &error)
{
    error.clear();
    std::filesystem::path made;
    for (const std::filesystem::path &part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), privateFolder) != 0 && errno != EEXIST) {
            error = std::error_code(errno, std::generic_category());
            return;
        }
    }
}

std::unique_ptr<Database> openDataDirectory(const std::filesystem::path &directory,
                                            const std::vector<SchemaModule> &modules)
{
    std::error_code error;
    createPrivateFolders(directory, error);
    if (error)
        refuse("création du dossier de données « " + directory.string()
               + " » impossible : " + error.message());
    requirePrivate(directory);
    const std::filesystem::path file = directory / "nimbal.sqlite3";
    createPrivately(file);
    auto database = Database::open(file);
    migrate(*database, modules);
    return database;
}

void claimDataDirectory(const std::filesystem::path &directory)
{
    const std::filesystem::path file = directory / "serve.lock";
    // Kept open, without close-on-exec concerns: the lock goes with the process.
    const int descriptor = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, privateFile);
    if (descriptor < 0)
        refuse("verrou du dossier de données impossible : " + std::string(std::strerror(errno)));
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        refuse("un autre nimbal-service sert déjà le dossier de données « " + directory.string()
               + " »");
    }
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
