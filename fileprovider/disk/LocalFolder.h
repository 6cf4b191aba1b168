// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>
#include <QString>

#include <optional>

#include <sys/stat.h>

namespace OrvelanNimbal::FileProvider {

// What is at a path, seen without following a symbolic link there.
struct LocalEntry {
    enum class Type { missing, file, folder, other };
    Type type = Type::missing;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    quint64 inode = 0;

    bool exists() const { return type != Type::missing; }

    // What lstat()/fstatat() said of an entry that exists.
    static LocalEntry of(const struct stat &info);
};

// The domain's folder on disk and the few operations the engine does in it. Paths are relative
// to the folder, made of names SafeNames accepted. Every operation refuses to reach through a
// symbolic link or anything that is not a real folder on the way, so that no name, however it
// was placed, leads outside. Blocking: called from worker threads. Failures throw FileError.
class LocalFolder {
public:
    explicit LocalFolder(QString root);

    const QString &root() const { return m_root; }
    QString absolute(const QString &relative) const;

    LocalEntry inspect(const QString &relative) const;
    // Whether each folder from the root down to `relative` (itself included) is a real folder.
    bool isRealFolder(const QString &relative) const;

    void makeFolder(const QString &relative) const;
    // Renames without replacing: false when something is already at `to`.
    bool moveNoReplace(const QString &from, const QString &to) const;
    void moveReplacing(const QString &from, const QString &to) const;
    void removeFile(const QString &relative) const;
    // False, and nothing removed, when the folder is not empty.
    bool removeEmptyFolder(const QString &relative) const;
    void createEmptyFile(const QString &relative) const; // replaces what is there
    void setModificationTime(const QString &relative, qint64 secondsSinceEpoch) const;
    QString sha256(const QString &relative) const;
    // Whether some program holds the file open for writing: the kernel grants a read lease
    // only when nobody does. Where leases are refused for another reason (another owner, a file
    // system without them), false: the caller's own checks of a stable file are all there is.
    bool isOpenForWriting(const QString &relative) const;
    // Makes renames and writes so far durable, before the journal says they happened.
    void syncFileSystem() const;

    // The marker that ties the folder to its journal: nothing when absent or unreadable.
    std::optional<QString> readMarker() const;
    void writeMarker(const QString &folderID) const;

    // Whether the file system here takes two names that differ only by case, or only by how
    // an accent is written (composed or not), for one: a casefolded ext4 folder, FAT, NTFS, SMB.
    // Asked by making two probe files of ours and seeing whether the second finds the first.
    bool foldsNames() const;

private:
    void requireRealParent(const QString &relative) const;

    QString m_root;
};

// Joins a folder's relative path and a name; the root is the empty path.
QString childPath(const QString &parent, const QString &name);
QString parentPath(const QString &relative);
QString fileName(const QString &relative);
// Whether one of the folders above `relative` is in `folders`.
bool isBelowAny(const QString &relative, const QSet<QString> &folders);

} // namespace OrvelanNimbal::FileProvider
