// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Executor.h"

#include "Logging.h"
#include "async/Wakeup.h"
#include "engine/RetryPolicy.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"

#include <algorithm>

namespace OrvelanNimbal::FileProvider {

namespace {

using Kind = Action::Kind;

// Files sent at once; the parts of one file still go one after another.
constexpr int parallelUploads = 8;

QString describe(Kind kind)
{
    switch (kind) {
    case Kind::makeHere:
    case Kind::createThere:
        return QStringLiteral("Création du dossier");
    case Kind::moveHere:
    case Kind::moveThere:
        return QStringLiteral("Déplacement");
    case Kind::download:
        return QStringLiteral("Téléchargement");
    case Kind::upload:
    case Kind::uploadNew:
        return QStringLiteral("Envoi");
    case Kind::compare:
    case Kind::keepAside:
        return QStringLiteral("Comparaison");
    case Kind::removeHere:
        return QStringLiteral("Suppression");
    case Kind::trashThere:
        return QStringLiteral("Mise à la corbeille");
    default:
        return QStringLiteral("Mise à jour du journal");
    }
}

} // namespace

Executor::Executor(EngineContext &context, ItemTable rows, const LocalObservations &observed,
                   Plan plan, CancellationToken cancel)
    : m_context(context)
    , m_rows(std::move(rows))
    , m_plan(std::move(plan))
    , m_cancel(std::move(cancel))
{
    for (auto seen = observed.items.cbegin(); seen != observed.items.cend(); ++seen) {
        if (seen->state == Observation::State::present) {
            m_where.insert(seen.key(), seen->path);
            m_at.insert(seen->path, seen.key());
            m_inodes.insert(seen.key(), seen->entry.inode);
        }
    }
    for (const Action &action : std::as_const(m_plan.actions)) {
        if (action.kind == Kind::moveHere)
            m_movingHere.insert(action.key);
        else if (action.kind == Kind::removeHere)
            m_removingHere.insert(action.key);
    }
}

QCoro::Task<PassOutcome> Executor::run()
{
    m_context.loadFailures();
    std::vector<Action> tree;
    std::vector<Action> downloads;
    std::vector<Action> contents;
    std::vector<Action> removals;
    std::vector<Action> trashes;
    for (Action &action : m_plan.actions) {
        switch (action.kind) {
        case Kind::makeHere:
        case Kind::moveHere:
        case Kind::moveThere:
        case Kind::createThere:
            tree.push_back(std::move(action));
            break;
        case Kind::download:
            downloads.push_back(std::move(action));
            break;
        case Kind::upload:
        case Kind::uploadNew:
        case Kind::compare:
        case Kind::keepAside:
            contents.push_back(std::move(action));
            break;
        case Kind::removeHere:
            removals.push_back(std::move(action));
            break;
        case Kind::trashThere:
            trashes.push_back(std::move(action));
            break;
        default:
            try {
                recordOnly(action);
            } catch (const FileError &error) {
                failed(action, error); // a folder adopted but unreadable: its own failure
            }
            break;
        }
    }
    co_await m_context.commit();

    // Parents before children, on both sides.
    std::stable_sort(tree.begin(), tree.end(),
                     [](const Action &a, const Action &b) { return a.depth < b.depth; });
    for (Action &action : tree) {
        m_cancel.throwIfCancelled();
        co_await perform(std::move(action));
        co_await m_context.commitIfDue();
    }
    co_await m_context.commit();

    co_await downloadAll(std::move(downloads));
    co_await m_context.commit();
    co_await sendAll(std::move(contents));

    // Deepest first, so that a folder is empty when its turn comes.
    std::stable_sort(removals.begin(), removals.end(),
                     [](const Action &a, const Action &b) { return a.depth > b.depth; });
    for (Action &action : removals) {
        m_cancel.throwIfCancelled();
        co_await perform(std::move(action));
    }
    co_await m_context.commit();
    co_await trashAll(std::move(trashes));
    // Names the service refused because another item held them until the trashing.
    for (Action &action : std::exchange(m_deferredMoves, {})) {
        m_cancel.throwIfCancelled();
        co_await perform(std::move(action));
    }
    co_await m_context.commit();
    co_return m_outcome;
}

QCoro::Task<> Executor::sendAll(std::vector<Action> contents)
{
    co_await runTogether(std::move(contents), parallelUploads, &Executor::afterSending);
    co_await placeWritten(); // the service's versions fetched after conflicts
}

QCoro::Task<> Executor::afterSending()
{
    // What the service now has is on record before this worker sends another.
    co_await m_context.commit();
}

QCoro::Task<> Executor::runTogether(std::vector<Action> actions, int width,
                                    QCoro::Task<> (Executor::*afterEach)())
{
    if (actions.empty())
        co_return;
    std::reverse(actions.begin(), actions.end()); // taken from the back: the plan's order
    auto queue = std::make_shared<std::vector<Action>>(std::move(actions));
    const int workers = std::max(1, std::min(width, int(queue->size())));
    // The workers share the queue; each ends when it is empty, the last one wakes us.
    auto left = std::make_shared<int>(workers);
    Wakeup allDone;
    std::exception_ptr failure;
    for (int i = 0; i < workers; ++i) {
        [](Executor *self, std::shared_ptr<std::vector<Action>> queue,
           QCoro::Task<> (Executor::*afterEach)(), std::shared_ptr<int> left, Wakeup *allDone,
           std::exception_ptr *failure) -> QCoro::Task<> {
            try {
                while (!queue->empty()) {
                    self->m_cancel.throwIfCancelled();
                    Action action = std::move(queue->back());
                    queue->pop_back();
                    co_await self->perform(std::move(action));
                    co_await (self->*afterEach)();
                }
            } catch (...) {
                // Whatever ends the pass (a cancel, the journal, a kill in a test) ends the
                // other workers' queue too, and is passed on once they are done.
                queue->clear();
                if (!*failure)
                    *failure = std::current_exception();
            }
            if (--*left == 0)
                allDone->fire();
        }(this, queue, afterEach, left, &allDone, &failure);
    }
    co_await allDone.wait();
    if (failure)
        std::rethrow_exception(failure);
}

std::optional<QString> Executor::whereIs(const ItemKey &key) const
{
    const auto found = m_where.constFind(key);
    if (found == m_where.cend())
        return std::nullopt;
    return *found;
}

void Executor::placeAt(const ItemKey &key, const QString &path)
{
    const std::optional<QString> old = whereIs(key);
    if (old && m_at.value(*old) == key)
        m_at.remove(*old);
    m_where.insert(key, path);
    m_at.insert(path, key);
    if (!old || !key.isFolder() || *old == path)
        return;
    // A folder takes everything beneath it along; their bases say so too.
    const QString prefix = *old + u'/';
    std::vector<std::pair<ItemKey, QString>> moved; // written after the walk over the table
    for (auto child = m_where.cbegin(); child != m_where.cend(); ++child) {
        if (child->startsWith(prefix))
            moved.emplace_back(child.key(), path + child->sliced(old->size()));
    }
    for (const auto &[child, newPath] : moved) {
        m_at.remove(m_where.value(child));
        m_where.insert(child, newPath);
        m_at.insert(newPath, child);
        ItemRecord &record = row(child);
        if (record.base.isOnDisk()) {
            record.base.path = newPath;
            m_context.put(record);
        }
    }
}

void Executor::leftDisk(const ItemKey &key)
{
    const std::optional<QString> old = whereIs(key);
    if (old && m_at.value(*old) == key)
        m_at.remove(*old);
    m_where.remove(key);
}

std::optional<QString> Executor::pathOf(const Target &target) const
{
    if (target.parent) {
        const std::optional<QString> parent = whereIs(*target.parent);
        if (!parent)
            return std::nullopt;
        return childPath(*parent, target.name);
    }
    return childPath(target.newParentPath, target.name);
}

QString Executor::currentPath(const Action &action) const
{
    const Target &target = action.target;
    std::optional<QString> parent;
    if (target.parent)
        parent = whereIs(*target.parent);
    else if (const auto made = m_created.constFind(target.newParentPath); made != m_created.cend())
        parent = whereIs(*made);
    return parent ? childPath(*parent, target.name) : action.path;
}

std::optional<qint64> Executor::parentIDOf(const Target &target) const
{
    if (target.parent) {
        const auto found = m_rows.constFind(*target.parent);
        if (found == m_rows.cend() || !found->remote.present)
            return std::nullopt;
        return target.parent->id;
    }
    if (target.newParentPath.isEmpty())
        return qint64(0);
    const auto created = m_created.constFind(target.newParentPath);
    if (created == m_created.cend())
        return std::nullopt; // made on the service later, or refused
    return created->id;
}

QString Executor::fingerprint(const ItemKey &key) const
{
    const auto found = m_rows.constFind(key);
    if (found == m_rows.cend())
        return {};
    const RemoteState &remote = found->remote;
    QString text = QStringLiteral("%1/%2/%3/%4")
                       .arg(remote.parentID)
                       .arg(remote.name, remote.contentHash)
                       .arg(remote.uploaded);
    if (const std::optional<QString> path = whereIs(key))
        text += u'|' + fingerprint(*path);
    return text;
}

QString Executor::fingerprint(const QString &path) const
{
    try {
        const LocalEntry entry = m_context.folder().inspect(path);
        return QStringLiteral("%1:%2:%3").arg(path).arg(entry.size).arg(entry.mtimeNs);
    } catch (const FileError &) {
        return path;
    }
}

BaseState Executor::baseOf(const QString &path, qint64 parentID, const LocalEntry &entry,
                          const QString &hash, qint64 uploaded)
{
    BaseState base;
    base.path = path;
    base.parentID = parentID;
    base.size = entry.type == LocalEntry::Type::file ? entry.size : 0;
    base.contentHash = hash;
    base.uploaded = uploaded;
    base.mtimeNs = entry.mtimeNs;
    base.inode = entry.inode;
    return base;
}

void Executor::record(const ItemRecord &record)
{
    const auto before = m_rows.constFind(record.key);
    const bool folderMoved = record.key.isFolder() && before != m_rows.cend()
                             && before->base.isOnDisk() && record.base.isOnDisk()
                             && before->base.path != record.base.path;
    const QString from = folderMoved ? before->base.path : QString();
    m_rows.insert(record.key, record);
    m_context.put(record);
    if (folderMoved)
        rebaseBeneath(from, record.base.path);
}

void Executor::rebaseBeneath(const QString &from, const QString &to)
{
    const QString prefix = from + u'/';
    for (const ItemRecord &committed : m_context.journal().itemsBeneath(from)) {
        if (m_context.isForgotten(committed.key))
            continue;
        const auto here = m_rows.find(committed.key);
        // The pass's own version of the row is the newer one.
        ItemRecord moved = here != m_rows.end() ? *here : committed;
        if (!moved.base.isOnDisk() || !moved.base.path.startsWith(prefix))
            continue;
        moved.base.path = to + moved.base.path.sliced(from.size());
        if (here != m_rows.end())
            *here = moved;
        m_context.put(moved);
    }
}

bool Executor::isWaiting(const Action &action)
{
    if (action.concernsDiskOnly())
        return m_context.isWaiting(u"p:"_qs + action.path, fingerprint(action.path), m_outcome);
    return m_context.isWaiting(action.key.text(), fingerprint(action.key), m_outcome);
}

void Executor::failed(const Action &action, const std::exception &error)
{
    if (action.concernsDiskOnly())
        m_context.failed(u"p:"_qs + action.path, fingerprint(action.path), describe(action.kind),
                         error, m_outcome);
    else
        m_context.failed(action.key.text(), fingerprint(action.key), describe(action.kind),
                         error, m_outcome);
}

QCoro::Task<> Executor::perform(Action action)
{
    if (isWaiting(action))
        co_return;
    try {
        co_await dispatch(action);
    } catch (const DriveError &error) {
        if (endsThePass(error))
            throw;
        failed(action, error);
    } catch (const FileError &error) {
        failed(action, error);
    }
}

QCoro::Task<> Executor::dispatch(Action action)
{
    switch (action.kind) {
    case Kind::makeHere:
        makeHere(action);
        break;
    case Kind::moveHere:
        moveHere(action);
        break;
    case Kind::moveThere:
        co_await moveThere(std::move(action));
        break;
    case Kind::createThere:
        co_await createThere(std::move(action));
        break;
    case Kind::download:
        co_await download(std::move(action));
        break;
    case Kind::upload:
        co_await upload(std::move(action));
        break;
    case Kind::uploadNew:
        co_await uploadNew(std::move(action));
        break;
    case Kind::compare:
        co_await compare(std::move(action));
        break;
    case Kind::keepAside:
        keepAside(action);
        break;
    case Kind::removeHere:
        removeHere(action);
        break;
    default:
        recordOnly(action);
        break;
    }
}

void Executor::recordOnly(const Action &action)
{
    if (!m_rows.contains(action.key))
        return;
    ItemRecord record = row(action.key);
    switch (action.kind) {
    case Kind::skip:
        if (!action.reason.isEmpty())
            qCDebug(logExtension).noquote() << QStringLiteral("%1 laissé hors du dossier : %2.")
                                                   .arg(action.key.text(), action.reason);
        record.skipped = action.reason;
        this->record(record);
        break;
    case Kind::forget:
        m_rows.remove(action.key);
        m_context.forget(action.key);
        leftDisk(action.key);
        break;
    case Kind::release:
        // Trashed on the service while changed or moved here: what is on disk goes up again as
        // new, its folders made anew around it.
        qCInfo(logExtension).noquote()
            << QStringLiteral("« %1 » a changé ici après sa mise à la corbeille sur le Nimbal : "
                              "renvoyé.")
                   .arg(action.path);
        m_rows.remove(action.key);
        m_context.forget(action.key);
        leftDisk(action.key);
        break;
    case Kind::recordVersion:
        record.base.uploaded = record.remote.uploaded;
        if (!record.remote.contentHash.isEmpty())
            record.base.contentHash = record.remote.contentHash;
        this->record(record);
        break;
    case Kind::recordPlace: {
        const std::optional<qint64> parent = parentIDOf(action.target);
        if (!record.base.isOnDisk()) {
            // A folder of the same name already here: it becomes the item's.
            const LocalEntry entry = m_context.folder().inspect(action.path);
            record.base.inode = entry.inode;
            record.base.mtimeNs = entry.mtimeNs;
        }
        record.base.path = action.path;
        if (parent)
            record.base.parentID = *parent;
        this->record(record);
        placeAt(action.key, action.path);
        break;
    }
    case Kind::letGo:
        record.base = {};
        this->record(record);
        leftDisk(action.key);
        break;
    default:
        break;
    }
}

} // namespace OrvelanNimbal::FileProvider
