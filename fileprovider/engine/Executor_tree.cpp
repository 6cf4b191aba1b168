// SPDX-License-Identifier: GPL-3.0-or-later
// The plan's tree: folders made and items moved, on disk and on the service.
#include "Logging.h"
#include "disk/SafeNames.h"
#include "engine/CrashPoints.h"
#include "engine/Executor.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"

namespace OrvelanNimbal::FileProvider {

namespace {

bool isKind(const ItemKey &key, const LocalEntry &entry)
{
    return key.isFolder() ? entry.type == LocalEntry::Type::folder
                          : entry.type == LocalEntry::Type::file;
}

} // namespace

void Executor::makeHere(const Action &action)
{
    const LocalFolder &folder = m_context.folder();
    const std::optional<QString> path = pathOf(action.target);
    if (!path || !folder.isRealFolder(parentPath(*path)))
        throw FileError(folder.absolute(path.value_or(action.target.name)),
                        QStringLiteral("le dossier qui doit le contenir n'est pas en place"));
    const LocalEntry entry = folder.inspect(*path);
    // A folder of that name that is nobody's yet becomes this one: its contents are kept, and
    // the drive's items join them.
    if (!(entry.type == LocalEntry::Type::folder && !m_at.contains(*path))) {
        if (!vacate(*path, action.key))
            throw FileError(folder.absolute(*path),
                            QStringLiteral("la place est prise par un autre élément"));
        folder.makeFolder(*path);
        m_context.diskChanged();
        NIMBAL_CRASH_POINT("folder.made");
    }
    ItemRecord record = row(action.key);
    record.base = baseOf(*path, parentIDOf(action.target).value_or(record.remote.parentID),
                         folder.inspect(*path));
    this->record(record);
    placeAt(action.key, *path);
    m_context.succeeded(action.key.text());
}

void Executor::moveHere(const Action &action)
{
    const ItemKey key = action.key;
    const auto done = qScopeGuard([&] { m_movingHere.remove(key); });
    const LocalFolder &folder = m_context.folder();
    const std::optional<QString> from = whereIs(key);
    if (!from)
        return; // gone meanwhile: the next pass sees where
    const std::optional<QString> to = pathOf(action.target);
    if (!to || !folder.isRealFolder(parentPath(*to)))
        throw FileError(folder.absolute(to.value_or(action.target.name)),
                        QStringLiteral("le dossier qui doit le contenir n'est pas en place"));
    ItemRecord record = row(key);
    if (*from != *to) {
        // Still the item the scan saw: nobody moved or replaced it since.
        const LocalEntry entry = folder.inspect(*from);
        const quint64 inode = m_inodes.value(key, entry.inode);
        if (!isKind(key, entry) || entry.inode != inode) {
            m_outcome.again = true;
            return;
        }
        if (!vacate(*to, key))
            throw FileError(folder.absolute(*to),
                            QStringLiteral("la place est prise par un autre élément"));
        if (!folder.moveNoReplace(*from, *to))
            throw FileError(folder.absolute(*to),
                            QStringLiteral("la place est prise par un autre élément"));
        m_context.diskChanged();
        NIMBAL_CRASH_POINT("move.done");
        placeAt(key, *to);
    }
    record.base.path = *to;
    record.base.parentID = parentIDOf(action.target).value_or(record.remote.parentID);
    this->record(record);
    if (const auto parked = m_parkIntents.constFind(key); parked != m_parkIntents.cend()) {
        m_context.dropIntent(*parked);
        m_parkIntents.erase(parked);
    }
    m_context.succeeded(key.text());
}

bool Executor::vacate(const QString &path, const ItemKey &forKey)
{
    if (!m_context.folder().inspect(path).exists())
        return true;
    const auto holder = m_at.constFind(path);
    if (holder == m_at.cend()) {
        // The user's, and new: kept beside under a conflict name; it goes up at the next pass.
        m_context.keepAside(path);
        m_outcome.again = true;
        return true;
    }
    const ItemKey other = *holder;
    if (other == forKey)
        return true;
    if (m_removingHere.contains(other)) {
        Action removal;
        removal.kind = Action::Kind::removeHere;
        removal.key = other;
        removal.path = path;
        removeHere(removal);
        if (!m_context.folder().inspect(path).exists())
            return true;
        m_context.keepAside(path); // changed here since: kept beside
        m_outcome.again = true;
        return true;
    }
    if (m_movingHere.contains(other)) {
        park(other); // leaves later, from a name of ours
        return true;
    }
    return false; // it stays: the plan never puts two items in one place
}

void Executor::park(const ItemKey &key)
{
    const LocalFolder &folder = m_context.folder();
    const QString from = *whereIs(key);
    const QString temporary =
        childPath(parentPath(from), SafeNames::parkingName(key.isFolder(), key.id));
    Intent intent;
    intent.kind = Intent::Kind::move;
    intent.key = key;
    intent.path = from;
    intent.temporary = temporary;
    intent.inode = folder.inspect(from).inode;
    // Written before the first rename: a kill from here on finds the item put back at the next
    // start, never read as deleted nor taken for another's.
    const qint64 number = m_context.journal().record(intent);
    if (!folder.moveNoReplace(from, temporary))
        throw FileError(folder.absolute(temporary), QStringLiteral("nom de passage déjà pris"));
    m_parkIntents.insert(key, number);
    m_context.diskChanged();
    NIMBAL_CRASH_POINT("move.parked");
    placeAt(key, temporary);
}

QCoro::Task<> Executor::createThere(Action action)
{
    const LocalFolder &folder = m_context.folder();
    action.path = currentPath(action);
    if (folder.inspect(action.path).type != LocalEntry::Type::folder) {
        m_outcome.again = true; // gone or moved meanwhile: the next pass sees where
        co_return;
    }
    const std::optional<qint64> parent = parentIDOf(action.target);
    if (!parent) {
        m_outcome.postpone(m_context.settings().quietPeriod); // its folder is not there yet
        co_return;
    }
    std::optional<qint64> parentID;
    if (*parent > 0)
        parentID = *parent;
    const qint64 id = co_await m_context.drive().createFolder(action.target.name, parentID,
                                                              m_cancel);
    NIMBAL_CRASH_POINT("folder.created");
    ItemRecord record;
    record.key = ItemKey::folder(id);
    record.remote.parentID = *parent;
    record.remote.name = action.target.name;
    record.base = baseOf(action.path, *parent, folder.inspect(action.path));
    this->record(record);
    m_created.insert(action.path, record.key);
    placeAt(record.key, action.path);
    m_context.succeeded(u"p:"_qs + action.path);
}

QCoro::Task<std::optional<DriveError>>
Executor::sendMove(ItemKey key, std::optional<QString> name,
                   std::optional<std::optional<qint64>> parent)
{
    std::optional<DriveError> refusal;
    try {
        const DriveAPI &drive = m_context.drive();
        if (key.isFolder()) {
            co_await drive.updateFolder(key.id, name, parent, m_cancel);
        } else if (name) {
            co_await drive.renameFile(key.id, *name, m_cancel);
        } else if (parent) {
            std::vector<qint64> files(1, key.id);
            std::vector<qint64> folders;
            co_await drive.move(files, folders, *parent, m_cancel);
        }
    } catch (const DriveError &error) {
        if (error.kind() != DriveError::Kind::versionConflict
            && error.kind() != DriveError::Kind::notFound)
            throw;
        refusal = error;
    }
    co_return refusal;
}

void Executor::movedThere(const ItemKey &key, qint64 parent, const QString &name,
                          const QString &basePath)
{
    ItemRecord record = row(key);
    record.remote.name = name;
    record.remote.parentID = parent;
    if (record.base.isOnDisk()) {
        record.base.path = basePath;
        record.base.parentID = parent;
    }
    this->record(record);
}

bool Executor::isHeldThere(qint64 parent, const QString &name, const ItemKey &except)
{
    const auto holds = [&](const ItemRecord &other) {
        return other.key != except && other.remote.present && other.remote.parentID == parent
               && other.remote.name == name;
    };
    if (std::any_of(m_rows.cbegin(), m_rows.cend(), holds))
        return true;
    // The pass's rows may be those of part of the folder: the journal has the others, as the
    // pass found them (the pass's own are newer).
    const std::vector<ItemRecord> named = m_context.journal().itemsNamed(parent, name);
    return std::any_of(named.cbegin(), named.cend(), [&](const ItemRecord &other) {
        return !m_rows.contains(other.key) && holds(other);
    });
}

QCoro::Task<> Executor::moveThere(Action action)
{
    const ItemKey key = action.key;
    const ItemRecord record = row(key);
    if (!record.remote.present)
        co_return;
    const std::optional<qint64> parent = parentIDOf(action.target);
    if (!parent) {
        m_outcome.postpone(m_context.settings().quietPeriod); // its folder is not there yet
        co_return;
    }
    const std::optional<QString> here = whereIs(key);
    if (here && !m_context.folder().inspect(*here).exists()) {
        m_outcome.again = true; // moved again meanwhile: the next pass sees where
        co_return;
    }
    const QString name = action.target.name;
    const bool renamed = name != record.remote.name;
    const bool moved = *parent != record.remote.parentID;
    // Named one by one: GCC 12 ends the temporaries of a co_await expression twice.
    std::optional<QString> newName;
    if (renamed)
        newName = name;
    std::optional<std::optional<qint64>> newParent;
    if (moved)
        newParent = *parent > 0 ? std::optional<qint64>(*parent) : std::nullopt;
    const QString basePath = here.value_or(record.base.path);
    std::optional<DriveError> refusal;
    if (key.isFolder() || !(renamed && moved)) {
        refusal = co_await sendMove(key, newName, newParent);
    } else {
        // A file is renamed and moved in two requests, and its new name may be taken in the
        // folder it leaves, or its old one in the folder it joins: moved first, else renamed
        // first, else renamed for a moment to a name of ours (which other devices leave out).
        // Each step that goes through is recorded, so that part of it is never taken for a
        // change of the service's.
        const std::optional<QString> sameName;
        const std::optional<std::optional<qint64>> sameParent;
        const QString oldName = fileName(record.base.path);
        refusal = co_await sendMove(key, sameName, newParent);
        if (!refusal) {
            movedThere(key, *parent, record.remote.name, childPath(parentPath(basePath), oldName));
            refusal = co_await sendMove(key, newName, sameParent);
        } else if (refusal->kind() == DriveError::Kind::versionConflict) {
            refusal = co_await sendMove(key, newName, sameParent);
            if (!refusal) {
                movedThere(key, record.remote.parentID, name,
                           childPath(parentPath(record.base.path), name));
                refusal = co_await sendMove(key, sameName, newParent);
            } else if (refusal->kind() == DriveError::Kind::versionConflict) {
                const std::optional<QString> passing = SafeNames::parkingName(false, key.id);
                refusal = co_await sendMove(key, passing, sameParent);
                if (!refusal) {
                    movedThere(key, record.remote.parentID, *passing, record.base.path);
                    refusal = co_await sendMove(key, sameName, newParent);
                }
                if (!refusal) {
                    movedThere(key, *parent, *passing, childPath(parentPath(basePath), oldName));
                    refusal = co_await sendMove(key, newName, sameParent);
                }
            }
        }
    }
    if (refusal) {
        if (refusal->kind() == DriveError::Kind::notFound) {
            m_outcome.again = true; // gone there meanwhile: the feed says what became of it
            co_return;
        }
        // The name is another item's there: perhaps one about to be trashed; once more after.
        if (!m_deferredOnce.contains(key)) {
            m_deferredOnce.insert(key);
            m_deferredMoves.push_back(std::move(action));
            co_return;
        }
        // Still another item's, one the service has and this disk does not show yet: the work
        // here keeps a conflict name, on both sides at the next pass, and the other its own.
        if (!here || !isHeldThere(*parent, name, key))
            throw *refusal;
        placeAt(key, m_context.keepAside(*here, name));
        m_outcome.again = true;
        co_return;
    }
    NIMBAL_CRASH_POINT("moveThere.sent");
    movedThere(key, *parent, name, basePath);
    qCInfo(logExtension).noquote()
        << QStringLiteral("%1 renommé ou déplacé sur le Nimbal.").arg(key.text());
    m_context.succeeded(key.text());
}

} // namespace OrvelanNimbal::FileProvider
