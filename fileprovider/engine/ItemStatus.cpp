// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ItemStatus.h"

#include "PlatformWords.h"
#include "disk/SafeNames.h"
#include "engine/EngineContext.h"
#include "engine/Reconciler.h"
#include "sync/SyncNaming.h"

namespace OrvelanNimbal::FileProvider {

namespace {

using State = ItemStatus::State;

// A failure recorded for the item: an unreadable file or a refusal leaves it out until it
// changes; anything else only delays it.
ItemStatus fromFailure(const Failure &failure)
{
    switch (failure.kind) {
    case FailureKind::local:
        return {State::leftOut, QStringLiteral("illisible : ") + failure.error};
    case FailureKind::refused:
        return {State::leftOut, QStringLiteral("refusé par le Nimbal : ") + failure.error};
    default:
        return {State::waiting, failure.error};
    }
}

// An item the service has at `path` that is not on disk (archived, left out): found under its
// folder by name.
std::optional<ItemRecord> notOnDisk(Journal &journal, const QString &path)
{
    qint64 parent = 0;
    if (!parentPath(path).isEmpty()) {
        const std::optional<ItemRecord> folder = journal.itemAt(parentPath(path));
        if (!folder || !folder->key.isFolder())
            return std::nullopt;
        parent = folder->key.id;
    }
    for (ItemRecord &row : journal.itemsUnder(parent)) {
        if (row.remote.present && row.remote.name == fileName(path))
            return std::move(row);
    }
    return std::nullopt;
}

} // namespace

ItemStatus statusOf(EngineContext &context, const QString &path)
{
    // A name the drive never takes, anywhere on the way, leaves the path out.
    for (const QString &name : path.split(u'/', Qt::SkipEmptyParts)) {
        if (const auto refusal = SafeNames::check(name))
            return {State::leftOut, SafeNames::describe(*refusal)};
    }
    if (context.sending().contains(path))
        return {State::sending, {}};
    const LocalEntry entry = context.folder().inspect(path);
    if (entry.type == LocalEntry::Type::other)
        return {State::leftOut, skippedLink};
    const QString name = fileName(path);
    if (SyncNaming::conflictCopyOrigin(name, PlatformWords::conflictSystem) != name)
        return {State::conflict, {}};
    std::optional<ItemRecord> row = context.journal().itemAt(path);
    if (!row && !entry.exists())
        row = notOnDisk(context.journal(), path);
    if (!row) {
        if (!entry.exists())
            return {State::unknown, {}};
        if (const auto failure = context.journal().failure(u"p:"_qs + path))
            return fromFailure(*failure);
        return {State::waiting, QStringLiteral("pas encore sur le Nimbal")};
    }
    if (!row->skipped.isEmpty())
        return {State::leftOut, row->skipped};
    if (!row->key.isFolder() && row->remote.present
        && !isSynchronizable(row->remote.storageClass))
        return {State::leftOut, skippedArchived};
    if (const auto failure = context.journal().failure(row->key.text()))
        return fromFailure(*failure);
    if (!entry.exists())
        return {State::waiting, QStringLiteral("effacé ici, pas encore sur le Nimbal")};
    const bool unchanged = row->key.isFolder()
                           || (entry.size == row->base.size && entry.mtimeNs == row->base.mtimeNs
                               && entry.inode == row->base.inode);
    if (!unchanged)
        return {State::waiting, QStringLiteral("modifié depuis le dernier envoi")};
    if (!row->key.isFolder() && remoteContentChanged(row->remote, row->base))
        return {State::waiting, QStringLiteral("une version plus récente arrive du Nimbal")};
    return {State::synchronised, {}};
}

} // namespace OrvelanNimbal::FileProvider
