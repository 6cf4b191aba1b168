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

#include <functional>
#include <vector>

namespace OrvelanNimbal::FileProvider {

namespace {

class Walker {
public:
    // Whether a folder found at `path` with `inode` is gone into; by default every one is.
    using Descend = std::function<bool(const QString &path, quint64 inode)>;

    explicit Walker(LocalScan &scan, Descend descend = {})
        : m_scan(scan)
        , m_descend(std::move(descend))
    {}

    // `fd` is an open folder at `relative`; it is closed here, and so are those of the folders
    // beneath it.
    void walkAll(int fd, const QString &relative = {})
    {
        // A stack rather than recursion: a folder may be as deep as anyone made it.
        std::vector<std::pair<int, QString>> pending{{fd, relative}};
        while (!pending.empty()) {
            const auto [next, path] = pending.back();
            pending.pop_back();
            walk(next, path, pending);
        }
    }

    // The entry `name` of the open folder `dirFd` (at `relative`), found on its own.
    void lookAt(int dirFd, const QString &relative, const QByteArray &name)
    {
        std::vector<std::pair<int, QString>> pending;
        consider(dirFd, relative, name.constData(), pending);
        for (const auto &[fd, path] : pending)
            ::close(fd); // a folder looked at alone is not read
    }

    void unreadable(const QString &relative)
    {
        m_scan.unreadable.append(relative);
        qCWarning(logExtension).noquote()
            << QStringLiteral("Dossier « %1 » illisible : ce qu'il contient attend.").arg(relative);
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
            consider(::dirfd(dir), relative, raw, pending);
        }
        ::closedir(dir);
    }

    void consider(int dirFd, const QString &relative, const char *raw,
                  std::vector<std::pair<int, QString>> &pending)
    {
        const std::optional<QString> name = decodedName(raw);
        if (!name) {
            ++m_scan.refusedNames;
            qCWarning(logExtension).noquote()
                << QStringLiteral("« %1 » laissé de côté : son nom n'est pas de l'UTF-8 valide.")
                       .arg(childPath(relative, QString::fromLatin1(raw)));
            return;
        }
        const QString path = childPath(relative, *name);
        if (const auto temporary = SafeNames::temporaryKind(*name);
            temporary != SafeNames::Temporary::none) {
            m_scan.temporaries.append(path);
            struct stat parked {};
            if (temporary == SafeNames::Temporary::parked
                && ::fstatat(dirFd, raw, &parked, AT_SYMLINK_NOFOLLOW) == 0)
                m_scan.parkedByInode.insert(parked.st_ino, path);
            return;
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
            return;
        }
        struct stat info {};
        if (::fstatat(dirFd, raw, &info, AT_SYMLINK_NOFOLLOW) != 0)
            return; // gone meanwhile
        const LocalEntry entry = LocalEntry::of(info);
        if (entry.type == LocalEntry::Type::other) {
            m_scan.others.insert(path); // links, sockets, fifos, devices: never followed
            return;
        }
        m_scan.entries.insert(path, entry);
        m_scan.pathsByInode.insert(entry.inode, path);
        if (entry.type != LocalEntry::Type::folder || (m_descend && !m_descend(path, entry.inode)))
            return;
        const int childFd = ::openat(dirFd, raw, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (childFd < 0)
            unreadable(path);
        else
            pending.emplace_back(childFd, path);
    }

    LocalScan &m_scan;
    Descend m_descend;
};

int openRoot(const QString &root)
{
    return ::open(QFile::encodeName(root).constData(),
                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The folder at `relative` under the open root, reached one real folder at a time: a link on
// the way ends it (nothing beneath a link is ours to read). -1 with errno when it cannot be.
int openFolder(int rootFd, const QString &relative)
{
    int fd = ::dup(rootFd);
    if (relative.isEmpty() || fd < 0)
        return fd;
    for (const QString &name : relative.split(u'/')) {
        const int next = ::openat(fd, QFile::encodeName(name).constData(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        ::close(fd);
        if (next < 0) {
            errno = error;
            return -1;
        }
        fd = next;
    }
    return fd;
}

// `path` could not be reached: the first thing on the way that is not a real folder, when it is
// a link or another special file, hides what is beneath it, which is then never taken for gone.
void markLinkAbove(LocalScan &scan, int rootFd, const QString &path)
{
    QString reached;
    for (const QString &name : path.split(u'/')) {
        reached = childPath(reached, name);
        struct stat info {};
        const int parent = openFolder(rootFd, parentPath(reached));
        if (parent < 0)
            return;
        const int found =
            ::fstatat(parent, QFile::encodeName(name).constData(), &info, AT_SYMLINK_NOFOLLOW);
        ::close(parent);
        if (found != 0 || S_ISREG(info.st_mode))
            return;
        if (!S_ISDIR(info.st_mode)) {
            scan.others.insert(reached);
            return;
        }
    }
}

// Opens `folder` for a scan of part of the tree; what stops it is recorded as a full scan
// would: unreadable, or beneath a link.
int openPart(LocalScan &scan, Walker &walker, int rootFd, const QString &folder)
{
    const int fd = openFolder(rootFd, folder);
    if (fd >= 0)
        return fd;
    if (errno == EACCES)
        walker.unreadable(folder);
    else if (errno == ELOOP || errno == ENOTDIR)
        markLinkAbove(scan, rootFd, folder);
    return -1;
}

} // namespace

LocalScan LocalScan::of(const QString &root, const ScanParts &parts)
{
    LocalScan scan;
    const int rootFd = openRoot(root);
    if (rootFd < 0) {
        scan.unreadable.append(QString());
        return scan;
    }
    Walker everything(scan);
    for (const QString &folder : parts.walked) {
        if (const int fd = openPart(scan, everything, rootFd, folder); fd >= 0)
            everything.walkAll(fd, folder);
    }
    // A folder listed on its own is gone into only when it is not the one known there: what a
    // known folder holds is listed when the watcher says it changed.
    Walker listing(scan, [&](const QString &path, quint64 inode) {
        if (parts.listed.contains(path) || isBelowAny(path, parts.walked))
            return false; // read on its own
        const auto known = parts.known.constFind(path);
        return known == parts.known.cend() || *known != inode;
    });
    for (const QString &folder : parts.listed) {
        if (isBelowAny(folder, parts.walked) || parts.walked.contains(folder))
            continue;
        if (const int fd = openPart(scan, listing, rootFd, folder); fd >= 0)
            listing.walkAll(fd, folder);
    }
    ::close(rootFd);
    scan.add(root, parts.entries);
    return scan;
}

void LocalScan::add(const QString &root, const QList<QString> &paths)
{
    const int rootFd = openRoot(root);
    if (rootFd < 0)
        return;
    Walker single(*this, [](const QString &, quint64) { return false; });
    for (const QString &path : paths) {
        if (path.isEmpty() || entries.contains(path) || others.contains(path) || isUnseen(path))
            continue;
        const int parent = openPart(*this, single, rootFd, parentPath(path));
        if (parent < 0)
            continue;
        single.lookAt(parent, parentPath(path), QFile::encodeName(fileName(path)));
        ::close(parent);
    }
    ::close(rootFd);
}
LocalScan LocalScan::of(const QString &root)
{
    LocalScan scan;
    const int fd = openRoot(root);
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
