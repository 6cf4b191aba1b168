// SPDX-License-Identifier: GPL-3.0-or-later
#include "domain/DomainRemoval.h"

#include "Logging.h"
#include "config/PlatformWords.h"
#include "disk/FolderNames.h"
#include "disk/LocalFolder.h"
#include "disk/SafeNames.h"
#include "errors/FileError.h"

#include <QDir>

namespace OrvelanNimbal::FileProvider {

namespace {

class Remover {
public:
    Remover(const QString &root, const ItemTable &items)
        : m_folder(root)
    {
        for (const ItemRecord &record : items) {
            if (record.base.isOnDisk())
                m_known.insert(record.base.path, &record);
        }
    }

    // Empties `relative`: each entry removed or kept. empty() and handle() go down the folder
    // on disk one call per level, which paths bound (PATH_MAX: at most 2,048 levels).
    // NOLINTNEXTLINE(misc-no-recursion)
    void empty(const QString &relative)
    {
        // Names as the disk has them, byte for byte: a name read otherwise would be another.
        for (const QString &name : namesIn(m_folder.absolute(relative)))
            handle(childPath(relative, name));
    }

    DomainRemoval::Outcome outcome;

private:
    // NOLINTNEXTLINE(misc-no-recursion): see empty()
    void handle(const QString &relative)
    {
        const LocalEntry entry = m_folder.inspect(relative);
        const ItemRecord *known = m_known.value(relative);
        const QString name = fileName(relative);
        try {
            if (!relative.contains(u'/') && name == SafeNames::folderMarkerName) {
                m_folder.removeFile(relative);
                return;
            }
            if (entry.type == LocalEntry::Type::file
                && SafeNames::temporaryKind(name) == SafeNames::Temporary::disposable) {
                m_folder.removeFile(relative);
                return;
            }
            if (known && known->key.isFolder() && entry.type == LocalEntry::Type::folder) {
                empty(relative);
                if (!m_folder.removeEmptyFolder(relative))
                    keep(relative);
                return;
            }
            if (known && !known->key.isFolder() && entry.type == LocalEntry::Type::file
                && entry.size == known->base.size && entry.mtimeNs == known->base.mtimeNs
                && entry.inode == known->base.inode) {
                m_folder.removeFile(relative);
                return;
            }
            keep(relative);
        } catch (const FileError &error) {
            qCWarning(logExtension).noquote() << error.errorDescription();
        }
    }

    // Moved whole, folders with everything in them, to the same place under the kept folder.
    void keep(const QString &relative)
    {
        if (outcome.keptFolder.isEmpty())
            outcome.keptFolder = freeKeptFolder();
        const QString target = outcome.keptFolder + u'/' + relative;
        QDir().mkpath(QFileInfo(target).path());
        if (QFile::rename(m_folder.absolute(relative), target)
            || QDir().rename(m_folder.absolute(relative), target))
            ++outcome.kept;
        else
            qCWarning(logExtension).noquote()
                << QStringLiteral("Impossible de mettre de côté « %1 » : il reste dans « %2 ».")
                       .arg(relative, m_folder.root());
    }

    QString freeKeptFolder() const
    {
        const QString base = m_folder.root() + PlatformWords::unsentSuffix;
        QString candidate = base;
        for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
            candidate = base + u' ' + QString::number(n);
        return candidate;
    }

    LocalFolder m_folder;
    QHash<QString, const ItemRecord *> m_known;
};

} // namespace

DomainRemoval::Outcome DomainRemoval::remove(const QString &folder, const ItemTable &items)
{
    Remover remover(folder, items);
    if (!QFileInfo(folder).isDir() || QFileInfo(folder).isSymLink())
        return remover.outcome;
    remover.empty(QString());
    remover.outcome.folderRemoved = QDir().rmdir(folder);
    return remover.outcome;
}

} // namespace OrvelanNimbal::FileProvider
