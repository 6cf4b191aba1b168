// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/DomainSummary.h"

namespace OrvelanNimbal {

void DomainSummary::recordConflict(QString originalName, QString copyName, QDateTime at)
{
    conflicts.prepend({std::move(originalName), std::move(copyName), std::move(at)});
    if (conflicts.size() > conflictLimit)
        conflicts.resize(conflictLimit);
}

void DomainSummary::apply(const std::vector<DriveFile> &files)
{
    for (const DriveFile &file : files) {
        // A trashed file is no longer the user's concern, whatever its storage class.
        if (!file.isTrashed && !isSynchronizable(file.storageClass))
            archivedFileIDs.insert(file.id);
        else
            archivedFileIDs.remove(file.id);
    }
}

std::optional<QString> DomainSummary::archivedLabel() const
{
    const qsizetype count = archivedFileCount();
    if (count == 0)
        return std::nullopt;
    if (count == 1)
        return QStringLiteral("1 fichier archivé, disponible depuis le web.");
    return QString::number(count)
           + QStringLiteral(" fichiers archivés, disponibles depuis le web.");
}

std::optional<QString> DomainSummary::lastConflictLabel() const
{
    if (conflicts.isEmpty())
        return std::nullopt;
    const Conflict &newest = conflicts.first();
    return QStringLiteral("Conflit sur « ") + newest.originalName
           + QStringLiteral(" » : votre version est enregistrée sous « ") + newest.copyName
           + QStringLiteral(" ».");
}

} // namespace OrvelanNimbal
