// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/IntentRecovery.h"

#include "Logging.h"
#include "disk/SafeNames.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"

namespace OrvelanNimbal::FileProvider {

namespace {

// Puts a parked item back: where it was if that is free, else where it was going; every place
// being taken, beside the first under a conflict name, so that it is never left hidden.
bool putBack(EngineContext &context, const QString &parked, const QList<QString> &places)
{
    const LocalFolder &folder = context.folder();
    for (const QString &place : places) {
        if (place.isEmpty() || !folder.isRealFolder(parentPath(place)))
            continue;
        if (folder.moveNoReplace(parked, place)) {
            qCInfo(logExtension).noquote()
                << QStringLiteral("« %1 » remis en place après un arrêt brutal.").arg(place);
            return true;
        }
    }
    for (const QString &place : places) {
        if (place.isEmpty() || !folder.isRealFolder(parentPath(place)))
            continue;
        const QString beside = childPath(parentPath(place), context.conflictName(fileName(place)));
        if (folder.moveNoReplace(parked, beside)) {
            qCInfo(logExtension).noquote()
                << QStringLiteral("« %1 » remis à côté de sa place, prise, après un arrêt brutal.")
                       .arg(beside);
            return true;
        }
    }
    return false;
}

// The item a parking name stands for: ".nimbal-move-f12" is the file 12, "…-d3" the folder 3;
// an earlier layout named it by its id alone.
std::optional<ItemRecord> parkedItem(Journal &journal, const QString &name)
{
    const QString prefix = SafeNames::reservedPrefix + QStringLiteral("move-");
    QStringView rest = QStringView(name).sliced(prefix.size());
    std::optional<ItemKind> kind;
    if (rest.startsWith(u'f') || rest.startsWith(u'd')) {
        kind = rest.startsWith(u'd') ? ItemKind::folder : ItemKind::file;
        rest = rest.sliced(1);
    }
    bool ok = false;
    const qint64 id = rest.toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    if (kind)
        return journal.item({*kind, id});
    if (auto file = journal.item(ItemKey::file(id)))
        return file;
    return journal.item(ItemKey::folder(id));
}

// Where an item may go back to: its place, then where the service has it now.
QList<QString> placesOf(Journal &journal, const ItemRecord &row)
{
    QList<QString> places{row.base.path};
    if (!row.remote.present)
        return places;
    if (row.remote.parentID == 0) {
        places.append(row.remote.name);
    } else if (const auto parent = journal.item(ItemKey::folder(row.remote.parentID));
               parent && parent->base.isOnDisk()) {
        places.append(childPath(parent->base.path, row.remote.name));
    }
    return places;
}

} // namespace

IntentRecovery::IntentRecovery(EngineContext &context)
    : m_context(context)
{}

QCoro::Task<> IntentRecovery::finish(CancellationToken cancel)
{
    EngineContext &context = m_context;
    bool changed = false;
    // Named: a range over a temporary does not outlive a wait in a coroutine with GCC 12.
    const std::vector<Intent> intents = context.journal().intents();
    for (const Intent &intent : intents) {
        switch (intent.kind) {
        case Intent::Kind::move:
        case Intent::Kind::download:
            if (!finishOnDisk(intent))
                continue; // tried again at the next pass
            changed = true;
            break;
        case Intent::Kind::upload: {
            std::optional<DriveError> refusal;
            QString uploadID = intent.uploadID;
            QString storageKey = intent.storageKey;
            try {
                co_await context.drive().abortUpload(std::move(uploadID), std::move(storageKey),
                                                     cancel);
            } catch (const DriveError &error) {
                refusal = error;
            }
            if (refusal && refusal->kind() == DriveError::Kind::notAuthenticated)
                throw *refusal;
            if (refusal && refusal->kind() != DriveError::Kind::notFound)
                continue; // the service did not answer: tried again at the next pass
            qCInfo(logExtension) << "Envoi interrompu par un arrêt brutal abandonné sur le Nimbal.";
            break;
        }
        }
        context.dropIntent(intent.number);
    }
    if (changed)
        context.diskChanged();
    co_await context.commit();
}

bool IntentRecovery::finishOnDisk(const Intent &intent)
{
    const LocalFolder &folder = m_context.folder();
    try {
        if (intent.kind == Intent::Kind::download) {
            if (folder.inspect(intent.path).type == LocalEntry::Type::file)
                folder.removeFile(intent.path);
            return true;
        }
        const LocalEntry parked = folder.inspect(intent.temporary);
        if (!parked.exists() || parked.inode != intent.inode)
            return true; // it left its parking before the kill
        QList<QString> places{intent.path, intent.target};
        if (const auto row = m_context.journal().item(intent.key))
            places += placesOf(m_context.journal(), *row);
        return putBack(m_context, intent.temporary, places);
    } catch (const FileError &error) {
        // What the intent names is out of the folder's reach now (a link in the way): nothing
        // of ours to finish there.
        qCWarning(logExtension).noquote() << error.errorDescription();
        return true;
    }
}

void IntentRecovery::sweep(const LocalScan &scan)
{
    EngineContext &context = m_context;
    const LocalFolder &folder = context.folder();
    int removed = 0;
    for (const QString &path : scan.temporaries) {
        try {
            const LocalEntry entry = folder.inspect(path);
            switch (SafeNames::temporaryKind(fileName(path))) {
            case SafeNames::Temporary::disposable:
                if (entry.type == LocalEntry::Type::file) {
                    folder.removeFile(path);
                    ++removed;
                }
                break;
            case SafeNames::Temporary::parked: {
                // Parked by a run whose intent was lost: back to its row's place if free.
                const auto row = parkedItem(context.journal(), fileName(path));
                if (row && row->base.isOnDisk() && row->base.inode == entry.inode)
                    putBack(context, path, placesOf(context.journal(), *row));
                break;
            }
            case SafeNames::Temporary::none:
                break;
            }
        } catch (const FileError &error) {
            qCWarning(logExtension).noquote() << error.errorDescription();
        }
    }
    if (removed > 0)
        qCInfo(logExtension) << removed << "fichiers temporaires d'une exécution interrompue "
                                           "effacés.";
}

} // namespace OrvelanNimbal::FileProvider
