// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/LocalScan.h"

#include "Logging.h"
#include "disk/FolderNames.h"
#include "disk/SafeNames.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace OrvelanNimbal::FileProvider {

namespace {

class Walker {
public:
    explicit Walker(LocalScan &scan)
        : m_scan(scan)
    {}

    // `fd` is an open folder; it is closed here, and so are those of the folders beneath it.
    void walkAll(int fd)
    {
        // A stack rather than recursion: a folder may be as deep as anyone made it.
        std::vector<std::pair<int, QString>> pending{{fd, QString()}};
        while (!pending.empty()) {
            const auto [next, relative] = pending.back();
            pending.pop_back();
            walk(next, relative, pending);
        }
    }

private:
    void walk(int fd, const QString &relative, std::vector<std::pair<int, QString>> &pending)
    {
        DIR *dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            unreadable(relative);
            return;
        }
        while (const dirent *child = ::readdir(dir)) {
            const char *raw = child->d_name;
            if (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "..") == 0)
                continue;
            const std::optional<QString> name = decodedName(raw);
            if (!name) {
                ++m_scan.refusedNames;
                qCWarning(logExtension).noquote()
                    << QStringLiteral("« %1 » laissé de côté : son nom n'est pas de l'UTF-8 "
                                      "valide.")
                           .arg(childPath(relative, QString::fromLatin1(raw)));
                continue;
            }
            const QString path = childPath(relative, *name);
            if (const auto temporary = SafeNames::temporaryKind(*name);
                temporary != SafeNames::Temporary::none) {
                m_scan.temporaries.append(path);
                struct stat parked {};
                if (temporary == SafeNames::Temporary::parked
                    && ::fstatat(::dirfd(dir), raw, &parked, AT_SYMLINK_NOFOLLOW) == 0)
                    m_scan.parkedByInode.insert(parked.st_ino, path);
                continue;
            }
            // The extension's own files and the names the drive never takes stay out silently;
            // other refused names (too long) are worth a line.
            if (const auto refusal = SafeNames::check(*name)) {
                if (*refusal != SafeNames::Refusal::reserved
                    && *refusal != SafeNames::Refusal::notSynchronised) {
                    ++m_scan.refusedNames;
                    qCInfo(logExtension).noquote()
                        << QStringLiteral("« %1 » laissé de côté : %2.")
                               .arg(path, SafeNames::describe(*refusal));
                }
                continue;
            }
            struct stat info {};
            if (::fstatat(::dirfd(dir), raw, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // gone meanwhile
            const LocalEntry entry = LocalEntry::of(info);
            if (entry.type == LocalEntry::Type::other) {
                m_scan.others.insert(path); // links, sockets, fifos, devices: never followed
                continue;
            }
            m_scan.entries.insert(path, entry);
            m_scan.pathsByInode.insert(entry.inode, path);
            if (entry.type == LocalEntry::Type::folder) {
                const int childFd =
                    ::openat(::dirfd(dir), raw, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (childFd < 0)
                    unreadable(path);
                else
                    pending.emplace_back(childFd, path);
            }
        }
        ::closedir(dir);
    }

    void unreadable(const QString &relative)
    {
        m_scan.unreadable.append(relative);
        qCWarning(logExtension).noquote()
            << QStringLiteral("Dossier « %1 » illisible : ce qu'il contient attend.").arg(relative);
    }

    LocalScan &m_scan;
};

} // namespace

LocalScan LocalScan::of(const QString &root)
{
    LocalScan scan;
    const int fd = ::open(QFile::encodeName(root).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        scan.unreadable.append(QString());
        return scan;
    }
    Walker(scan).walkAll(fd);
    return scan;
}

bool LocalScan::isUnseen(const QString &path) const
{
    for (const QString &folder : unreadable) {
        if (folder.isEmpty() || path == folder || path.startsWith(folder + u'/'))
            return true;
    }
    return isBeneathLink(path);
}

bool LocalScan::isBeneathLink(const QString &path) const
{
    return isBelowAny(path, others);
}

} // namespace OrvelanNimbal::FileProvider
