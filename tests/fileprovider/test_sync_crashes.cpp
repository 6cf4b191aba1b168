// SPDX-License-Identifier: GPL-3.0-or-later
// A kill between any two effects of a step loses nothing: for each step of several effects, the
// engine is killed at each of its named points in turn (each time it is reached), started again
// on the same journal and folder, and must end with the folder and the drive equal, no
// temporary of its own left, no item's bytes under another's id, and every version written
// found on disk or among what the drive ever held.
#include "EngineHarness.h"
#include "engine/CrashPoints.h"

#include <QDirIterator>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::FileProvider;
using namespace OrvelanNimbal::Testing;

namespace {

const QStringList points{u"move.parked"_qs,     u"move.done"_qs,          u"download.written"_qs,
                         u"download.placed"_qs, u"upload.opened"_qs,      u"upload.sent"_qs,
                         u"folder.made"_qs,     u"folder.created"_qs,     u"moveThere.sent"_qs,
                         u"conflict.keptAside"_qs, u"removal.done"_qs,    u"trash.sent"_qs};

// A scenario: a drive and a folder in step, then a change that takes a step of several
// effects. Each content it writes goes into `written`.
struct Scenario {
    QString name;
    std::function<void(EngineHarness &, QSet<QByteArray> &)> before;
    std::function<void(EngineHarness &, QSet<QByteArray> &)> change;
};

QList<Scenario> scenarios()
{
    using Written = QSet<QByteArray>;
    const auto twoFiles = [](EngineHarness &harness, Written &written) {
        const qint64 documents = harness.drive.addFolder(u"Documents"_qs);
        harness.drive.addFile(u"a.txt"_qs, "alpha", documents);
        harness.drive.addFile(u"b.txt"_qs, "beta", documents);
        written << "alpha" << "beta";
    };
    return {
        {u"names swapped there"_qs, twoFiles,
         [](EngineHarness &harness, Written &) {
             const qint64 a = *harness.drive.find(u"Documents/a.txt"_qs);
             const qint64 b = *harness.drive.find(u"Documents/b.txt"_qs);
             harness.drive.rename(a, u"c"_qs);
             harness.drive.rename(b, u"a.txt"_qs);
             harness.drive.rename(a, u"b.txt"_qs);
         }},
        {u"a folder and a file new there"_qs, twoFiles,
         [](EngineHarness &harness, Written &written) {
             const qint64 folder = harness.drive.addFolder(u"Neuf"_qs);
             harness.drive.addFile(u"n.txt"_qs, "nouveau", folder);
             written << "nouveau";
         }},
        {u"new content there"_qs, twoFiles,
         [](EngineHarness &harness, Written &written) {
             harness.drive.write(*harness.drive.find(u"Documents/a.txt"_qs), "alpha 2");
             written << "alpha 2";
         }},
        {u"a large file new here, sent in parts"_qs, twoFiles,
         [](EngineHarness &harness, Written &written) {
             harness.drive.refuseDirectUploads(true);
             harness.write(u"Documents/grand.bin"_qs, "grand");
             written << "grand";
         }},
        {u"an edit here"_qs, twoFiles,
         [](EngineHarness &harness, Written &written) {
             harness.write(u"Documents/a.txt"_qs, "alpha, d'ici");
             written << "alpha, d'ici";
         }},
        {u"edited on both sides"_qs, twoFiles,
         [](EngineHarness &harness, Written &written) {
             harness.drive.write(*harness.drive.find(u"Documents/a.txt"_qs), "alpha, du web");
             harness.write(u"Documents/a.txt"_qs, "alpha, d'ici");
             written << "alpha, du web" << "alpha, d'ici";
         }},
        {u"a folder with a file made here"_qs, twoFiles,
         [](EngineHarness &harness, Written &written) {
             harness.write(u"Local/l.txt"_qs, "local");
             written << "local";
         }},
        {u"renamed here"_qs, twoFiles,
         [](EngineHarness &harness, Written &) {
             QVERIFY(QFile::rename(harness.file(u"Documents/a.txt"_qs),
                                   harness.file(u"a renommé.txt"_qs)));
         }},
        {u"trashed there, deleted here"_qs, twoFiles,
         [](EngineHarness &harness, Written &) {
             harness.drive.trash(*harness.drive.find(u"Documents/a.txt"_qs));
             harness.remove(u"Documents/b.txt"_qs);
         }},
    };
}

// The folder's files and folders ("" for a folder), the marker aside.
QMap<QString, QByteArray> diskContents(const EngineHarness &harness)
{
    QMap<QString, QByteArray> tree;
    for (const QString &path : harness.tree()) {
        const QFileInfo info(harness.file(path));
        tree.insert(path, info.isDir() ? QByteArray() : harness.read(path));
    }
    return tree;
}

} // namespace

class TestSyncCrashes : public QObject {
    Q_OBJECT

private slots:
    void killsLoseNothing_data();
    void killsLoseNothing();
};

void TestSyncCrashes::killsLoseNothing_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<QString>("point");
    QTest::addColumn<int>("hit");
    const QList<Scenario> all = scenarios();
    for (int index = 0; index < all.size(); ++index) {
        // A run without a kill says which points the step meets, and how often.
        EngineHarness harness;
        QSet<QByteArray> written;
        all[index].before(harness, written);
        harness.settle();
        all[index].change(harness, written);
        CrashPoints::resetCounts();
        harness.settle();
        for (const QString &point : points) {
            const int times = std::min(CrashPoints::timesReached(point), 3);
            for (int hit = 1; hit <= times; ++hit)
                QTest::addRow("%s, killed at %s #%d", qPrintable(all[index].name),
                              qPrintable(point), hit)
                    << index << point << hit;
        }
    }
}

void TestSyncCrashes::killsLoseNothing()
{
    QFETCH(int, scenario);
    QFETCH(QString, point);
    QFETCH(int, hit);
    const Scenario step = scenarios().at(scenario);
    EngineHarness harness;
    QSet<QByteArray> written;
    step.before(harness, written);
    harness.settle();
    QMap<qint64, QByteArray> contents; // each id's bytes before the step
    for (const auto &[path, content] : harness.drive.tree().asKeyValueRange()) {
        if (const auto id = harness.drive.find(path))
            contents.insert(*id, content);
    }
    step.change(harness, written);

    CrashPoints::arm(point, hit);
    bool killed = false;
    try {
        harness.settle();
    } catch (const CrashPoints::Killed &) {
        killed = true;
    }
    CrashPoints::disarm();
    QVERIFY2(killed, "the point was not reached");
    harness.reopen(); // the next start, on the same journal and folder
    harness.drive.refuseDirectUploads(false);
    harness.settle();
    harness.settle(); // a conflict copy goes up at the pass after

    const QMap<QString, QByteArray> disk = diskContents(harness);
    QCOMPARE(disk, harness.drive.tree());
    QDirIterator ours(harness.folder, {u".nimbal-*"_qs}, QDir::AllEntries | QDir::Hidden,
                      QDirIterator::Subdirectories);
    while (ours.hasNext()) {
        const QString found = ours.next();
        QVERIFY2(found.endsWith(u"/.nimbal-folder"_qs), qPrintable(found));
    }
    for (const QByteArray &content : std::as_const(written)) {
        const bool kept = std::find(disk.cbegin(), disk.cend(), content) != disk.cend()
                          || harness.drive.everHeld(content);
        QVERIFY2(kept, content.constData());
    }
    // No item holds bytes it never had: a swap moves names, not contents.
    for (const auto &[id, content] : contents.asKeyValueRange()) {
        const QByteArray now = harness.drive.item(id).content;
        QVERIFY2(now == content
                     || std::find(contents.cbegin(), contents.cend(), now) == contents.cend(),
                 qPrintable(u"%1 holds another item's bytes"_qs.arg(id)));
    }
    QCOMPARE(harness.drive.openUploads(), 0);
}

QTEST_GUILESS_MAIN(TestSyncCrashes)
#include "test_sync_crashes.moc"
