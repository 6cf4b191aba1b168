// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/RemoteReader.h"

#include "Logging.h"
#include "errors/DriveError.h"

#include <QSet>

namespace OrvelanNimbal::FileProvider {

namespace {

const QString walkedKey = QStringLiteral("walked");
// A file listing holds at most this many files: one that full may have left some out.
constexpr qsizetype listingLimit = 100000;

bool isExpired(const DriveError &error)
{
    return error.kind() == DriveError::Kind::cursorExpired;
}

} // namespace

RemoteReader::RemoteReader(EngineContext &context)
    : m_context(context)
{}

QCoro::Task<RemoteReader::Outcome> RemoteReader::read(CancellationToken cancel)
{
    const std::optional<qint64> cursor = m_context.journal().cursor();
    if (!cursor)
        co_return co_await readFromStart(std::move(cancel));
    std::optional<DriveChanges> page;
    try {
        page = co_await m_context.drive().changes(*cursor, cancel);
    } catch (const DriveError &error) {
        if (!isExpired(error))
            throw;
    }
    if (!page) {
        qCInfo(logExtension) << "Curseur des changements expiré : relecture complète du Nimbal.";
        m_context.batch().setCursor(std::nullopt);
        co_await m_context.commit();
        co_return co_await readFromStart(std::move(cancel));
    }
    Outcome outcome = Outcome::of(false, true);
    apply(page->folders, page->files, nullptr, &outcome);
    m_context.batch().setCursor(page->cursor);
    co_await m_context.commit();
    co_return outcome;
}

QCoro::Task<RemoteReader::Outcome> RemoteReader::readFromStart(CancellationToken cancel)
{
    // The feed from its start: the whole drive and a cursor in one answer.
    std::optional<DriveChanges> everything;
    try {
        everything = co_await m_context.drive().changes(0, cancel);
    } catch (const DriveError &error) {
        if (!isExpired(error))
            throw;
    }
    if (everything) {
        ItemTable known = m_context.journal().items();
        const std::vector<ItemKey> missing = apply(everything->folders, everything->files, &known);
        // Held back: no cursor yet, so that the next pass reads from the start again.
        const bool applied = markGone(missing, known);
        if (applied)
            m_context.batch().setCursor(everything->cursor);
        co_await m_context.commit();
        co_return Outcome::of(true, true, !applied);
    }
    // Refused too: the tree, but not at every pass.
    const qint64 now = m_context.nowMs();
    const qint64 walked = m_context.journal().setting(walkedKey).value_or(QString()).toLongLong();
    if (walked > 0 && now - walked < std::chrono::milliseconds(walkInterval).count()) {
        qCDebug(logExtension) << "Relecture de l'arborescence pas encore due.";
        co_return Outcome::of(false, false);
    }
    const Walk tree = co_await walk(cancel);
    ItemTable known = m_context.journal().items();
    std::vector<ItemKey> missing = apply(tree.folders, tree.files, &known);
    if (!tree.complete) {
        qCWarning(logExtension) << "Un dossier du Nimbal a plus de fichiers qu'une liste n'en "
                                   "donne : rien n'est retiré sur la foi de cette relecture.";
        missing.clear();
    }
    if (!missing.empty()) {
        const qsizetype present = std::count_if(known.cbegin(), known.cend(), [](const auto &row) {
            return row.remote.present;
        });
        const bool mass = qsizetype(missing.size()) > massRemovalFloor
                          && double(missing.size()) > massRemovalShare * double(present);
        if (!mass)
            missing = co_await confirmedGone(std::move(missing), cancel);
    }
    const bool applied = markGone(missing, known);
    m_context.batch().setSetting(walkedKey, QString::number(now));
    co_await m_context.commit();
    co_return Outcome::of(true, true, !applied);
}

QCoro::Task<RemoteReader::Walk> RemoteReader::walk(CancellationToken cancel)
{
    // Any failure ends the walk with nothing applied: a partial tree removes nothing.
    Walk tree;
    std::vector<std::optional<qint64>> pending{std::nullopt};
    while (!pending.empty()) {
        const std::optional<qint64> folder = pending.back();
        pending.pop_back();
        std::vector<DriveFolder> children = co_await m_context.drive().folders(folder, cancel);
        std::vector<DriveFile> contents = co_await m_context.drive().files(folder, cancel);
        if (qsizetype(contents.size()) >= listingLimit)
            tree.complete = false;
        for (DriveFolder &child : children) {
            pending.push_back(child.id);
            tree.folders.push_back(std::move(child));
        }
        std::move(contents.begin(), contents.end(), std::back_inserter(tree.files));
    }
    co_return tree;
}

QCoro::Task<std::vector<ItemKey>> RemoteReader::confirmedGone(std::vector<ItemKey> missing,
                                                              CancellationToken cancel)
{
    // The service answers for a file in its trash as for any other (its content can still be
    // fetched), so asking for the file says nothing; the tree is listed once more instead. An
    // item a move hid from the first walk is in the second, where it went.
    const Walk again = co_await walk(std::move(cancel));
    if (!again.complete)
        co_return std::vector<ItemKey>();
    QSet<ItemKey> seen;
    for (const DriveFolder &folder : again.folders)
        seen.insert(ItemKey::folder(folder.id));
    for (const DriveFile &file : again.files)
        seen.insert(ItemKey::file(file.id));
    std::erase_if(missing, [&](const ItemKey &key) { return seen.contains(key); });
    co_return missing;
}

std::vector<ItemKey> RemoteReader::apply(const std::vector<DriveFolder> &folders,
                                         const std::vector<DriveFile> &files, ItemTable *known,
                                         Outcome *outcome)
{
    QSet<ItemKey> seen;
    Journal &journal = m_context.journal();
    const auto record = [&](const ItemKey &key, const RemoteState &state) {
        seen.insert(key);
        std::optional<ItemRecord> row;
        if (known) {
            const auto found = known->constFind(key);
            if (found != known->cend())
                row = *found;
        } else {
            row = journal.item(key);
        }
        if (!row && !state.present)
            return; // trashed before we ever knew it
        ItemRecord changed = row.value_or(ItemRecord{key, {}, {}, {}});
        // The service's version is taken whenever it changes, the same bytes included.
        if (row && changed.remote == state)
            return;
        if (outcome) {
            outcome->changed.insert(key);
            const bool moved = !row || row->remote.parentID != state.parentID
                               || row->remote.name != state.name
                               || row->remote.present != state.present;
            if (key.isFolder() && moved)
                outcome->foldersMoved.insert(key);
        }
        changed.remote = state;
        m_context.put(changed);
        if (known)
            known->insert(key, changed);
    };
    for (const DriveFolder &folder : folders)
        record(ItemKey::folder(folder.id), remoteState(folder));
    for (const DriveFile &file : files)
        record(ItemKey::file(file.id), remoteState(file));
    std::vector<ItemKey> missing;
    if (!known)
        return missing;
    for (const ItemRecord &row : std::as_const(*known)) {
        if (row.remote.present && !seen.contains(row.key))
            missing.push_back(row.key);
    }
    return missing;
}

bool RemoteReader::markGone(const std::vector<ItemKey> &gone, const ItemTable &known)
{
    QSet<ItemKey> &held = m_context.heldRemovals();
    if (gone.empty()) {
        held.clear();
        return true;
    }
    const qsizetype present = std::count_if(known.cbegin(), known.cend(),
                                            [](const ItemRecord &row) { return row.remote.present; });
    const qsizetype live = present - qsizetype(gone.size());
    const bool mass = qsizetype(gone.size()) > massRemovalFloor
                      && double(gone.size()) > massRemovalShare * double(present);
    // A service that fails may answer with a listing short of much of the drive, once; the
    // next complete listing, asked for separately, says whether that was so. An empty one is
    // never taken for the drive.
    const bool confirmed = live > 0 && std::all_of(gone.cbegin(), gone.cend(), [&](const ItemKey &key) {
                               return held.contains(key);
                           });
    if ((live == 0 || mass) && !confirmed) {
        held = QSet<ItemKey>(gone.cbegin(), gone.cend());
        qCWarning(logExtension).noquote()
            << QStringLiteral("Liste complète du Nimbal sans %1 des %2 éléments connus : "
                              "suppressions retenues jusqu'à la liste suivante, rien n'est "
                              "retiré du disque.")
                   .arg(gone.size())
                   .arg(present);
        return false;
    }
    held.clear();
    for (const ItemKey &key : gone) {
        ItemRecord row = known.value(key);
        row.remote.present = false;
        m_context.put(row);
    }
    return true;
}

} // namespace OrvelanNimbal::FileProvider
