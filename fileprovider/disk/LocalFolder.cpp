// SPDX-License-Identifier: GPL-3.0-or-later
#include "disk/LocalFolder.h"

#include "disk/SafeNames.h"
#include "errors/FileError.h"
#include "sync/ContentHasher.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace OrvelanNimbal::FileProvider {

namespace {

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

[[noreturn]] void fail(const QString &path, int error)
{
    throw FileError(path, QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

LocalEntry LocalEntry::of(const struct stat &info)
{
    LocalEntry entry;
    if (S_ISREG(info.st_mode))
        entry.type = LocalEntry::Type::file;
    else if (S_ISDIR(info.st_mode))
        entry.type = LocalEntry::Type::folder;
    else
        entry.type = LocalEntry::Type::other;
    entry.size = info.st_size;
    entry.mtimeNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    entry.inode = info.st_ino;
    return entry;
}

QString childPath(const QString &parent, const QString &name)
{
    return parent.isEmpty() ? name : parent + u'/' + name;
}

QString parentPath(const QString &relative)
{
    const qsizetype slash = relative.lastIndexOf(u'/');
    return slash < 0 ? QString() : relative.first(slash);
}

QString fileName(const QString &relative)
{
    return relative.sliced(relative.lastIndexOf(u'/') + 1);
}

bool isBelowAny(const QString &relative, const QSet<QString> &folders)
{
    if (folders.isEmpty())
        return false;
    for (QString above = parentPath(relative); !above.isEmpty(); above = parentPath(above)) {
        if (folders.contains(above))
            return true;
    }
    return false;
}

LocalFolder::LocalFolder(QString root)
    : m_root(std::move(root))
{}

QString LocalFolder::absolute(const QString &relative) const
{
    return relative.isEmpty() ? m_root : m_root + u'/' + relative;
}

LocalEntry LocalFolder::inspect(const QString &relative) const
{
    struct stat info {};
    if (::lstat(encoded(absolute(relative)).constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {};
        fail(absolute(relative), errno);
    }
    return LocalEntry::of(info);
}

bool LocalFolder::isRealFolder(const QString &relative) const
{
    QString path;
    if (inspect(path).type != LocalEntry::Type::folder)
        return false;
    if (relative.isEmpty())
        return true;
    for (const QString &name : relative.split(u'/')) {
        path = childPath(path, name);
        if (inspect(path).type != LocalEntry::Type::folder)
            return false;
    }
    return true;
}

void LocalFolder::requireRealParent(const QString &relative) const
{
    if (!isRealFolder(parentPath(relative)))
        throw FileError(
            absolute(relative),
            QStringLiteral("le dossier qui doit le contenir n'est pas un vrai dossier"));
}

void LocalFolder::makeFolder(const QString &relative) const
{
    requireRealParent(relative);
    if (::mkdir(encoded(absolute(relative)).constData(), 0777) != 0)
        fail(absolute(relative), errno);
}

bool LocalFolder::moveNoReplace(const QString &from, const QString &to) const
{
    requireRealParent(from);
    requireRealParent(to);
    if (::renameat2(AT_FDCWD, encoded(absolute(from)).constData(), AT_FDCWD,
                    encoded(absolute(to)).constData(), RENAME_NOREPLACE)
        == 0)
        return true;
    if (errno == EEXIST)
        return false;
    fail(absolute(from), errno);
}

void LocalFolder::moveReplacing(const QString &from, const QString &to) const
{
    requireRealParent(from);
    requireRealParent(to);
    if (::rename(encoded(absolute(from)).constData(), encoded(absolute(to)).constData()) != 0)
        fail(absolute(from), errno);
}

void LocalFolder::removeFile(const QString &relative) const
{
    requireRealParent(relative);
    if (::unlink(encoded(absolute(relative)).constData()) != 0 && errno != ENOENT)
        fail(absolute(relative), errno);
}

bool LocalFolder::removeEmptyFolder(const QString &relative) const
{
    requireRealParent(relative);
    if (::rmdir(encoded(absolute(relative)).constData()) == 0 || errno == ENOENT)
        return true;
    if (errno == ENOTEMPTY || errno == EEXIST)
        return false;
    fail(absolute(relative), errno);
}

void LocalFolder::createEmptyFile(const QString &relative) const
{
    requireRealParent(relative);
    const int file = ::open(encoded(absolute(relative)).constData(),
                            O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (file < 0)
        fail(absolute(relative), errno);
    ::close(file);
}

void LocalFolder::setModificationTime(const QString &relative, qint64 secondsSinceEpoch) const
{
    const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(secondsSinceEpoch), 0}};
    if (::utimensat(AT_FDCWD, encoded(absolute(relative)).constData(), times, AT_SYMLINK_NOFOLLOW)
        != 0)
        fail(absolute(relative), errno);
}

QString LocalFolder::sha256(const QString &relative) const
{
    requireRealParent(relative);
    return ContentHasher::sha256Blocking(QUrl::fromLocalFile(absolute(relative)));
}

bool LocalFolder::isOpenForWriting(const QString &relative) const
{
    const int file =
        ::open(encoded(absolute(relative)).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (file < 0)
        return false;
    const bool leased = ::fcntl(file, F_SETLEASE, F_RDLCK) == 0;
    const bool busy = !leased && errno == EAGAIN;
    if (leased)
        ::fcntl(file, F_SETLEASE, F_UNLCK);
    ::close(file);
    return busy;
}

void LocalFolder::syncFileSystem() const
{
    const int folder = ::open(encoded(m_root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        fail(m_root, errno);
    const int status = ::syncfs(folder);
    const int error = errno;
    ::close(folder);
    if (status != 0)
        fail(m_root, error);
}

std::optional<QString> LocalFolder::readMarker() const
{
    const QString path = absolute(SafeNames::folderMarkerName);
    if (inspect(SafeNames::folderMarkerName).type != LocalEntry::Type::file)
        return std::nullopt;
    QFile marker(path);
    if (!marker.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(marker.read(256)).trimmed();
}

void LocalFolder::writeMarker(const QString &folderID) const
{
    QSaveFile marker(absolute(SafeNames::folderMarkerName));
    if (!marker.open(QIODevice::WriteOnly) || marker.write(folderID.toUtf8() + '\n') < 0
        || !marker.commit())
        throw FileError(marker.fileName(), marker.errorString());
}

namespace {

// Creates `name` in `folder` unless it exists: false when it was already there.
bool createExclusively(int folder, const QByteArray &name)
{
    const int file = ::openat(folder, name.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (file < 0)
        return false;
    ::close(file);
    return true;
}

} // namespace

bool LocalFolder::foldsNames() const
{
    const int folder =
        ::open(encoded(m_root).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0)
        fail(m_root, errno);
    const QString tag = QString::number(QRandomGenerator::global()->generate64(), 36);
    // Pairs of names that are one name where names are folded: case, then composition.
    const QList<std::pair<QString, QString>> pairs{
        {QStringLiteral("a"), QStringLiteral("A")},
        {QStringLiteral("\u00e9"), QStringLiteral("e\u0301")}};
    bool folds = false;
    for (const auto &[first, second] : pairs) {
        const QByteArray one = encoded(SafeNames::foldingProbeName(tag, first));
        const QByteArray other = encoded(SafeNames::foldingProbeName(tag, second));
        if (!createExclusively(folder, one))
            continue; // nothing can be learnt here (read-only, full)
        if (createExclusively(folder, other))
            ::unlinkat(folder, other.constData(), 0);
        else
            folds = folds || errno == EEXIST;
        ::unlinkat(folder, one.constData(), 0);
    }
    ::close(folder);
    return folds;
}

} // namespace OrvelanNimbal::FileProvider
