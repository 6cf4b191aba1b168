// SPDX-License-Identifier: GPL-3.0-or-later
// The pass's decisions without any disk or network: the table of what both sides did to one
// item, how renames on disk are found, and what the tree makes of them (folders holding work,
// folders still needed, deletions held back, names that clash only where the disk folds them).
#include "engine/Decision.h"
#include "engine/LocalObservations.h"
#include "engine/Reconciler.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::FileProvider;

namespace {

using Disk = ItemSides::Disk;
using Service = ItemSides::Service;
using Place = Decision::Place;
using Content = Decision::Content;
using Fate = Decision::Fate;
using Kind = Action::Kind;

ItemSides sides(Disk disk, Service service, bool movedHere = false, bool movedThere = false,
                bool sameTarget = false, bool folder = false)
{
    ItemSides result;
    result.folder = folder;
    result.disk = disk;
    result.movedHere = movedHere;
    result.service = service;
    result.movedThere = movedThere;
    result.sameTarget = sameTarget;
    return result;
}

Decision decision(Place place, Content content, Fate fate = Fate::keep)
{
    Decision result;
    result.place = place;
    result.content = content;
    result.fate = fate;
    return result;
}

Decision fate(Fate value, Place place = Place::stay, Content content = Content::none)
{
    return decision(place, content, value);
}

// A drive and a folder written by hand: rows of the journal, and what a scan of the disk saw.
struct World {
    ItemTable rows;
    LocalScan scan;
    quint64 nextInode = 1000;

    // An item synchronised at `path` (empty: on the service only).
    ItemKey add(ItemKind kind, qint64 id, qint64 parent, const QString &name,
                const QString &path = {})
    {
        ItemRecord row;
        row.key = {kind, id};
        row.remote.parentID = parent;
        row.remote.name = name;
        row.remote.size = kind == ItemKind::file ? 5 : 0;
        row.remote.contentHash = kind == ItemKind::file ? QStringLiteral("h%1").arg(id) : QString();
        row.remote.uploaded = 1700000000 + id;
        if (!path.isEmpty()) {
            row.base.path = path;
            row.base.parentID = parent;
            row.base.size = row.remote.size;
            row.base.contentHash = row.remote.contentHash;
            row.base.uploaded = row.remote.uploaded;
            row.base.mtimeNs = 1700000000000000000 + id;
            row.base.inode = ++nextInode;
            LocalEntry entry;
            entry.type = kind == ItemKind::folder ? LocalEntry::Type::folder
                                                  : LocalEntry::Type::file;
            entry.size = row.base.size;
            entry.mtimeNs = row.base.mtimeNs;
            entry.inode = row.base.inode;
            scan.entries.insert(path, entry);
            scan.pathsByInode.insert(entry.inode, path);
        }
        rows.insert(row.key, row);
        return row.key;
    }
    ItemKey folder(qint64 id, qint64 parent, const QString &name, const QString &path = {})
    {
        return add(ItemKind::folder, id, parent, name, path);
    }
    ItemKey file(qint64 id, qint64 parent, const QString &name, const QString &path = {})
    {
        return add(ItemKind::file, id, parent, name, path);
    }
    // Something on disk the journal does not know.
    void make(const QString &path, bool folder = false)
    {
        LocalEntry entry;
        entry.type = folder ? LocalEntry::Type::folder : LocalEntry::Type::file;
        entry.size = 7;
        entry.mtimeNs = 42;
        entry.inode = ++nextInode;
        scan.entries.insert(path, entry);
        scan.pathsByInode.insert(entry.inode, path);
    }
    void erase(const QString &path)
    {
        scan.pathsByInode.remove(scan.entries.value(path).inode);
        scan.entries.remove(path);
    }
    void edit(const QString &path) { scan.entries[path].mtimeNs += 1; }
    void rename(const QString &from, const QString &to)
    {
        const LocalEntry entry = scan.entries.take(from);
        scan.entries.insert(to, entry);
        scan.pathsByInode.insert(entry.inode, to);
        // What the folder held comes along.
        const QString prefix = from + u'/';
        QStringList inside;
        for (auto entry = scan.entries.cbegin(); entry != scan.entries.cend(); ++entry) {
            if (entry.key().startsWith(prefix))
                inside.append(entry.key());
        }
        for (const QString &path : inside) {
            const LocalEntry child = scan.entries.take(path);
            const QString moved = to + path.sliced(from.size());
            scan.entries.insert(moved, child);
            scan.pathsByInode.insert(child.inode, moved);
        }
    }

    Plan plan(bool folds = false) const
    {
        const LocalObservations observed = observe(rows, scan);
        const ReconcileInput input{rows, observed, scan, folds, [](const QString &name) {
                                       return name + QStringLiteral(" (conflit Linux)");
                                   }};
        return reconcile(input);
    }
};

// "moveHere f:3 → d:1/b.txt", one line per action, in the plan's order.
QStringList summary(const Plan &plan)
{
    QStringList lines;
    for (const Action &action : plan.actions) {
        static const char *const names[] = {
            "skip",     "forget",      "release",  "recordVersion", "recordPlace", "letGo",
            "makeHere", "moveHere",    "moveThere", "createThere",  "download",    "upload",
            "uploadNew", "compare",    "keepAside", "removeHere",   "trashThere"};
        QString line = QString::fromLatin1(names[int(action.kind)]) + u' '
                       + (action.concernsDiskOnly() ? action.path : action.key.text());
        if (action.kind == Kind::moveHere || action.kind == Kind::moveThere
            || action.kind == Kind::makeHere || action.kind == Kind::createThere
            || action.kind == Kind::uploadNew) {
            const Target &target = action.target;
            const QString parent = target.parent ? target.parent->text()
                                                 : (target.newParentPath.isEmpty()
                                                        ? QStringLiteral("/")
                                                        : u'"' + target.newParentPath + u'"');
            line += u" → "_qs + parent + u'/' + target.name;
        }
        lines.append(line);
    }
    lines.sort();
    return lines;
}

} // namespace

Q_DECLARE_METATYPE(OrvelanNimbal::FileProvider::ItemSides)
Q_DECLARE_METATYPE(OrvelanNimbal::FileProvider::Decision)

namespace OrvelanNimbal::FileProvider {
char *toString(const Decision &decision)
{
    return QTest::toString(QStringLiteral("place %1, content %2, fate %3")
                               .arg(int(decision.place))
                               .arg(int(decision.content))
                               .arg(int(decision.fate)));
}
} // namespace OrvelanNimbal::FileProvider

class TestReconciler : public QObject {
    Q_OBJECT

private slots:
    void decisionTable_data();
    void decisionTable();
    void renamesAreFoundByInode_data();
    void renamesAreFoundByInode();
    void treeDecisions_data();
    void treeDecisions();
};

void TestReconciler::decisionTable_data()
{
    QTest::addColumn<ItemSides>("given");
    QTest::addColumn<Decision>("expected");
    // Files: what the disk did (rows), what the service did (columns).
    QTest::newRow("untouched on both sides")
        << sides(Disk::same, Service::same) << decision(Place::stay, Content::none);
    QTest::newRow("changed there") << sides(Disk::same, Service::changed)
                                   << decision(Place::stay, Content::download);
    QTest::newRow("trashed there") << sides(Disk::same, Service::trashed) << fate(Fate::removeHere);
    QTest::newRow("renamed there") << sides(Disk::same, Service::same, false, true)
                                   << decision(Place::followService, Content::none);
    QTest::newRow("changed here") << sides(Disk::changed, Service::same)
                                  << decision(Place::stay, Content::upload);
    QTest::newRow("changed on both sides") << sides(Disk::changed, Service::changed)
                                           << decision(Place::stay, Content::compare);
    QTest::newRow("changed here, trashed there")
        << sides(Disk::changed, Service::trashed) << fate(Fate::release);
    QTest::newRow("changed here, renamed there")
        << sides(Disk::changed, Service::same, false, true)
        << decision(Place::followService, Content::upload);
    QTest::newRow("deleted here") << sides(Disk::gone, Service::same) << fate(Fate::trashThere);
    QTest::newRow("deleted here, changed there")
        << sides(Disk::gone, Service::changed)
        << fate(Fate::restore, Place::followService, Content::download);
    QTest::newRow("deleted here, trashed there")
        << sides(Disk::gone, Service::trashed) << fate(Fate::forget);
    QTest::newRow("deleted here, renamed there")
        << sides(Disk::gone, Service::same, false, true)
        << fate(Fate::restore, Place::followService, Content::download);
    QTest::newRow("renamed here") << sides(Disk::same, Service::same, true)
                                  << decision(Place::followDisk, Content::none);
    QTest::newRow("renamed here, changed there")
        << sides(Disk::same, Service::changed, true)
        << decision(Place::followDisk, Content::download);
    QTest::newRow("renamed here, trashed there")
        << sides(Disk::same, Service::trashed, true) << fate(Fate::release);
    QTest::newRow("renamed alike on both sides")
        << sides(Disk::same, Service::same, true, true, true)
        << decision(Place::record, Content::none);
    QTest::newRow("renamed apart: the service's name wins")
        << sides(Disk::same, Service::same, true, true, false)
        << decision(Place::followService, Content::none);
    QTest::newRow("renamed and changed here, changed there")
        << sides(Disk::changed, Service::changed, true)
        << decision(Place::followDisk, Content::compare);
    // Versions, archives, what cannot be seen.
    QTest::newRow("the same bytes saved again there")
        << sides(Disk::same, Service::versionOnly) << decision(Place::stay, Content::recordVersion);
    QTest::newRow("changed here, same bytes saved again there")
        << sides(Disk::changed, Service::versionOnly) << decision(Place::stay, Content::upload);
    QTest::newRow("deleted here, same bytes saved again there")
        << sides(Disk::gone, Service::versionOnly)
        << fate(Fate::restore, Place::followService, Content::download);
    QTest::newRow("archived, changed here") << sides(Disk::changed, Service::archived)
                                            << decision(Place::stay, Content::keepAside);
    QTest::newRow("archived, kept here") << sides(Disk::same, Service::archived)
                                         << decision(Place::stay, Content::none);
    QTest::newRow("archived, deleted here") << sides(Disk::gone, Service::archived)
                                            << fate(Fate::letGo);
    QTest::newRow("unreadable folder around it") << sides(Disk::unseen, Service::changed)
                                                 << fate(Fate::leave);
    QTest::newRow("a link at its place") << sides(Disk::replaced, Service::same)
                                         << fate(Fate::leaveLink);
    QTest::newRow("a link at its place, trashed there")
        << sides(Disk::replaced, Service::trashed) << fate(Fate::forget);
    // Without a base: new on one side, or on both.
    QTest::newRow("new there") << sides(Disk::none, Service::changed)
                               << decision(Place::followService, Content::download);
    QTest::newRow("new on both sides") << sides(Disk::found, Service::changed)
                                       << decision(Place::record, Content::compare);
    QTest::newRow("new there, trashed before it came")
        << sides(Disk::none, Service::trashed) << fate(Fate::forget);
    QTest::newRow("new there and archived") << sides(Disk::none, Service::archived)
                                            << decision(Place::stay, Content::none);
    QTest::newRow("new there and archived, its name taken here")
        << sides(Disk::found, Service::archived) << decision(Place::stay, Content::keepAside);
    // Folders: no content.
    QTest::newRow("folder deleted here")
        << sides(Disk::gone, Service::same, false, false, false, true) << fate(Fate::trashThere);
    QTest::newRow("folder trashed there")
        << sides(Disk::same, Service::trashed, false, false, false, true)
        << fate(Fate::removeHere);
    QTest::newRow("folder renamed here")
        << sides(Disk::same, Service::same, true, false, false, true)
        << decision(Place::followDisk, Content::none);
    QTest::newRow("folder new on both sides")
        << sides(Disk::found, Service::same, false, false, false, true)
        << decision(Place::record, Content::none);
    QTest::newRow("folder deleted here, renamed there")
        << sides(Disk::gone, Service::same, false, true, false, true)
        << fate(Fate::restore, Place::followService);
}

void TestReconciler::decisionTable()
{
    QFETCH(ItemSides, given);
    QFETCH(Decision, expected);
    QCOMPARE(decide(given), expected);
}

void TestReconciler::renamesAreFoundByInode_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("state"); // Observation::State of a.txt
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("unclaimed");
    QTest::newRow("left alone") << u"none"_qs << int(Observation::State::present) << u"a.txt"_qs
                                << QStringList();
    QTest::newRow("renamed") << u"rename"_qs << int(Observation::State::present)
                             << u"dossier/c.txt"_qs << QStringList();
    // a.txt's inode is now at b.txt's place, b.txt's at c.txt: a chain of moves, not edits.
    QTest::newRow("a chain of moves") << u"chain"_qs << int(Observation::State::present)
                                      << u"b.txt"_qs << QStringList();
    QTest::newRow("saved by replacement (a new inode)")
        << u"replace"_qs << int(Observation::State::present) << u"a.txt"_qs << QStringList();
    QTest::newRow("deleted, its inode reused by a new file elsewhere")
        << u"reuse"_qs << int(Observation::State::absent) << u"a.txt"_qs
        << QStringList{u"nouveau.txt"_qs};
    QTest::newRow("a link at its place") << u"link"_qs << int(Observation::State::replaced)
                                         << u"a.txt"_qs << QStringList();
    QTest::newRow("its folder unreadable") << u"unreadable"_qs << int(Observation::State::unseen)
                                           << u"a.txt"_qs << QStringList();
    QTest::newRow("parked by a run cut short")
        << u"parked"_qs << int(Observation::State::unseen) << u"a.txt"_qs << QStringList();
}

void TestReconciler::renamesAreFoundByInode()
{
    QFETCH(QString, change);
    QFETCH(int, state);
    QFETCH(QString, path);
    QFETCH(QStringList, unclaimed);
    World world;
    const ItemKey folder = world.folder(1, 0, u"dossier"_qs, u"dossier"_qs);
    const ItemKey a = world.file(2, 0, u"a.txt"_qs, u"a.txt"_qs);
    const ItemKey b = world.file(3, 0, u"b.txt"_qs, u"b.txt"_qs);
    const quint64 inode = world.rows[a].base.inode;
    if (change == u"rename") {
        world.rename(u"a.txt"_qs, u"dossier/c.txt"_qs);
    } else if (change == u"chain") {
        world.rename(u"b.txt"_qs, u"c.txt"_qs);
        world.rename(u"a.txt"_qs, u"b.txt"_qs);
    } else if (change == u"replace") {
        world.erase(u"a.txt"_qs);
        world.make(u"a.txt"_qs);
    } else if (change == u"reuse") {
        world.erase(u"a.txt"_qs);
        world.make(u"nouveau.txt"_qs);
        LocalEntry &reused = world.scan.entries[u"nouveau.txt"_qs];
        world.scan.pathsByInode.remove(reused.inode);
        reused.inode = inode; // same inode, other size and date: another file
        world.scan.pathsByInode.insert(inode, u"nouveau.txt"_qs);
    } else if (change == u"link") {
        world.erase(u"a.txt"_qs);
        world.scan.others.insert(u"a.txt"_qs);
    } else if (change == u"unreadable") {
        // A scan that could not open the top sees nothing at all.
        world.scan = LocalScan();
        world.scan.unreadable.append(QString());
    } else if (change == u"parked") {
        world.erase(u"a.txt"_qs);
        world.scan.parkedByInode.insert(inode, u".nimbal-move-f2"_qs);
    }
    const LocalObservations observed = observe(world.rows, world.scan);
    QCOMPARE(int(observed.items[a].state), state);
    QCOMPARE(observed.items[a].path, path);
    QCOMPARE(QStringList(observed.unclaimed.begin(), observed.unclaimed.end()), unclaimed);
    if (change == u"chain")
        QCOMPARE(observed.items[b].path, u"c.txt"_qs);
    QCOMPARE(observed.items[folder].path, u"dossier"_qs);
    QCOMPARE(observed.items[folder].state == Observation::State::unseen,
             change == u"unreadable");
}

void TestReconciler::treeDecisions_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("held");
    QTest::newRow("folder trashed there, a file in it edited here")
        << u"trashed folder with work"_qs
        << QStringList{u"createThere Photos → //Photos"_qs, u"release d:1"_qs, u"release f:2"_qs,
                       u"removeHere f:3"_qs, u"uploadNew Photos/a.jpg → \"Photos\"/a.jpg"_qs}
        << 0;
    QTest::newRow("folder deleted here, a file in it changed there")
        << u"deleted folder still needed"_qs
        << QStringList{u"download f:2"_qs, u"makeHere d:1 → //Photos"_qs, u"trashThere f:3"_qs}
        << 0;
    QTest::newRow("folder renamed here: one move, its files carried along")
        << u"folder renamed here"_qs
        << QStringList{u"moveThere d:1 → //Images"_qs, u"recordPlace f:2"_qs,
                       u"recordPlace f:3"_qs}
        << 0;
    QTest::newRow("two names swapped there") << u"swap"_qs
                                             << QStringList{u"moveHere f:2 → //b.jpg"_qs,
                                                            u"moveHere f:3 → //a.jpg"_qs}
                                             << 0;
    QTest::newRow("each side moved a folder into the other: the service's places")
        << u"circle"_qs
        << QStringList{u"moveHere d:1 → d:4/Photos"_qs, u"moveHere d:4 → //Autres"_qs} << 0;
    QTest::newRow("a new folder here with a file")
        << u"new here"_qs
        << QStringList{u"createThere Neuf → //Neuf"_qs, u"uploadNew Neuf/x.txt → \"Neuf\"/x.txt"_qs}
        << 0;
    QTest::newRow("under a folder the journal does not know: left alone")
        << u"orphan"_qs << QStringList() << 0;
    QTest::newRow("many deleted at once") << u"mass"_qs << QStringList() << 60;
    QTest::newRow("everything of a folder deleted, the folder still there")
        << u"whole folder"_qs << QStringList() << 57;
    QTest::newRow("twins by case, on a folder that does not fold")
        << u"twins"_qs << QStringList{u"download f:5"_qs, u"download f:6"_qs} << 0;
    QTest::newRow("twins by case, on a folder that folds")
        << u"twins folded"_qs
        << QStringList{u"download f:5"_qs, u"download f:6"_qs,
                       u"moveThere f:6 → //note.txt (conflit Linux)"_qs}
        << 0;
}

void TestReconciler::treeDecisions()
{
    QFETCH(QString, situation);
    QFETCH(QStringList, expected);
    QFETCH(int, held);
    World world;
    world.folder(1, 0, u"Photos"_qs, u"Photos"_qs);
    world.file(2, 1, u"a.jpg"_qs, u"Photos/a.jpg"_qs);
    world.file(3, 1, u"b.jpg"_qs, u"Photos/b.jpg"_qs);
    bool folds = false;
    if (situation == u"trashed folder with work") {
        for (const qint64 id : {1, 2, 3})
            world.rows[{id == 1 ? ItemKind::folder : ItemKind::file, id}].remote.present = false;
        world.edit(u"Photos/a.jpg"_qs);
    } else if (situation == u"deleted folder still needed") {
        world.erase(u"Photos/a.jpg"_qs);
        world.erase(u"Photos/b.jpg"_qs);
        world.erase(u"Photos"_qs);
        world.rows[ItemKey::file(2)].remote.contentHash = u"autre"_qs;
    } else if (situation == u"folder renamed here") {
        world.rename(u"Photos"_qs, u"Images"_qs);
    } else if (situation == u"swap") {
        world.rows[ItemKey::file(2)].remote.name = u"b.jpg"_qs;
        world.rows[ItemKey::file(3)].remote.name = u"a.jpg"_qs;
        for (const qint64 id : {2, 3})
            world.rows[ItemKey::file(id)].remote.parentID = 0;
    } else if (situation == u"circle") {
        world.folder(4, 0, u"Autres"_qs, u"Autres"_qs);
        world.rows[ItemKey::folder(1)].remote.parentID = 4; // Photos into Autres there
        world.rename(u"Autres"_qs, u"Photos/Autres"_qs);    // Autres into Photos here
    } else if (situation == u"new here") {
        world.make(u"Neuf"_qs, true);
        world.make(u"Neuf/x.txt"_qs);
    } else if (situation == u"orphan") {
        world.file(7, 99, u"perdu.txt"_qs);
    } else if (situation == u"mass" || situation == u"whole folder") {
        const bool whole = situation == u"whole folder";
        const int count = whole ? 55 : 100;
        const int deleted = whole ? 55 : 60;
        for (int i = 0; i < count; ++i)
            world.file(100 + i, 1, u"f%1"_qs.arg(i), u"Photos/f%1"_qs.arg(i));
        for (int i = 0; i < (whole ? 300 : 0); ++i)
            world.file(1000 + i, 0, u"g%1"_qs.arg(i), u"g%1"_qs.arg(i));
        for (int i = 0; i < deleted; ++i)
            world.erase(u"Photos/f%1"_qs.arg(i));
        if (whole) {
            world.erase(u"Photos/a.jpg"_qs);
            world.erase(u"Photos/b.jpg"_qs);
        }
    } else if (situation.startsWith(u"twins")) {
        world.file(5, 0, u"Note.txt"_qs);
        world.file(6, 0, u"note.txt"_qs);
        folds = situation == u"twins folded";
    }
    const Plan plan = world.plan(folds);
    QCOMPARE(summary(plan), expected);
    QCOMPARE(plan.heldDeletions, qsizetype(held));
    QCOMPARE(plan.orphans, situation == u"orphan" ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestReconciler)
#include "test_reconciler.moc"
