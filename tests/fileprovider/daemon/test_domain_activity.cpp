// SPDX-License-Identifier: GPL-3.0-or-later
// The state of paths and what is left to do, read from a journal against a real folder; and
// the pauses as they are kept across restarts.
#include "daemon/DomainStates.h"
#include "disk/LocalFolder.h"
#include "engine/ItemStatus.h"
#include "engine/Journal.h"
#include "engine/RemainingWork.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::FileProvider;

Q_DECLARE_METATYPE(OrvelanNimbal::FileProvider::ItemStatus::State)
Q_DECLARE_METATYPE(OrvelanNimbal::FileProvider::ItemStatus::Reason)

namespace {

const QString stableHash = QStringLiteral("aa");

// A drive of a few items and a folder where some of them are, some changed, some new.
class Scene {
public:
    Scene()
        : m_folder(m_root.path())
    {
        folder(1, 0, u"docs"_qs, true);
        folder(2, 0, u"clean"_qs, true);
        file(10, 0, u"synced.txt"_qs, "same", true);
        file(11, 0, u"edited.txt"_qs, "before", true);
        write(u"edited.txt"_qs, "after, longer");
        file(12, 0, u"stale.txt"_qs, "old", true);
        m_items[ItemKey::file(12)].remote.contentHash = u"newer"_qs;
        m_items[ItemKey::file(12)].remote.size = 5;
        file(13, 0, u"remote-only.txt"_qs, "12345", false);
        file(14, 0, u"cold.txt"_qs, "x", false);
        m_items[ItemKey::file(14)].remote.storageClass = StorageClass::glacier;
        m_items[ItemKey::file(14)].skipped = u"archivé"_qs;
        file(15, 1, u"inside.txt"_qs, "in docs", true);
        file(16, 2, u"kept.txt"_qs, "in clean", true);
        file(17, 0, u"moved-before.txt"_qs, "moving", true);
        QVERIFY(QFile::rename(path(u"moved-before.txt"_qs), path(u"moved-after.txt"_qs)));
        file(18, 0, u"deleted.txt"_qs, "gone", true);
        write(u"new.txt"_qs, "1234567");
        write(u"docs/new inside.txt"_qs, "abc");
        write(u"Rapport (conflit Linux 2026-12-06 10h00).txt"_qs, "mine");
        write(u"~$draft.docx"_qs, "litter");
        QVERIFY(QFile::link(path(u"synced.txt"_qs), path(u"link"_qs)));
        // Last: a new file would take its inode, and read as it moved.
        QVERIFY(QFile::remove(path(u"deleted.txt"_qs)));
    }

    ItemStatus status(const QString &path, const QSet<QString> &sending = {}) const
    {
        Journal journal(m_journalFolder.filePath(u"journal.sqlite"_qs));
        Journal::Batch rows;
        for (const ItemRecord &record : m_items)
            rows.put(record);
        journal.commit(rows);
        return statusOf({journal, m_folder, sending}, path);
    }
    RemainingWork remaining() const { return RemainingWork::of(m_items, m_folder); }
    QString path(const QString &relative) const { return m_root.filePath(relative); }

private:
    void write(const QString &relative, const QByteArray &content)
    {
        QFile file(path(relative));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    void folder(qint64 id, qint64 parent, const QString &name, bool placed)
    {
        ItemRecord record;
        record.key = ItemKey::folder(id);
        record.remote.parentID = parent;
        record.remote.name = name;
        if (placed) {
            QVERIFY(QDir(m_root.path()).mkpath(name));
            record.base.path = name;
            record.base.inode = m_folder.inspect(name).inode;
        }
        m_items.insert(record.key, record);
    }
    void file(qint64 id, qint64 parent, const QString &name, const QByteArray &content, bool placed)
    {
        ItemRecord record;
        record.key = ItemKey::file(id);
        record.remote.parentID = parent;
        record.remote.name = name;
        record.remote.size = content.size();
        record.remote.contentHash = stableHash;
        if (placed) {
            const QString relative =
                parent == 0 ? name : m_items[ItemKey::folder(parent)].base.path + u'/' + name;
            write(relative, content);
            const LocalEntry entry = m_folder.inspect(relative);
            record.base = {relative, parent, entry.size, stableHash, 0, entry.mtimeNs, entry.inode};
        }
        m_items.insert(record.key, record);
    }

    QTemporaryDir m_root;
    QTemporaryDir m_journalFolder; // beside the folder, never in it
    LocalFolder m_folder;
    ItemTable m_items;
};

} // namespace

class TestDomainActivity : public QObject {
    Q_OBJECT

private slots:
    void pathStates_data();
    void pathStates();
    void anUploadUnderWayShowsOnTheFileSentOnly();
    void remainingCountsEachWayAndMovesOnce();
    void pausesEndOnTimeAndSurviveARestart_data();
    void pausesEndOnTimeAndSurviveARestart();
    void theNearestEndIsTheOneWaitedFor();
};

void TestDomainActivity::pathStates_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<ItemStatus::State>("state");
    QTest::addColumn<ItemStatus::Reason>("reason");
    using State = ItemStatus::State;
    using Reason = ItemStatus::Reason;
    QTest::newRow("as synchronised") << u"synced.txt"_qs << State::synced << Reason::none;
    QTest::newRow("edited since") << u"edited.txt"_qs << State::pendingUpload << Reason::none;
    QTest::newRow("new here") << u"new.txt"_qs << State::pendingUpload << Reason::none;
    QTest::newRow("removed here") << u"deleted.txt"_qs << State::pendingUpload << Reason::none;
    QTest::newRow("newer on the drive") << u"stale.txt"_qs << State::pendingDownload
                                        << Reason::none;
    QTest::newRow("not here yet") << u"remote-only.txt"_qs << State::pendingDownload
                                  << Reason::none;
    QTest::newRow("archived") << u"cold.txt"_qs << State::excluded << Reason::archived;
    QTest::newRow("conflict copy") << u"Rapport (conflit Linux 2026-12-06 10h00).txt"_qs
                                   << State::conflict << Reason::none;
    QTest::newRow("editor litter") << u"~$draft.docx"_qs << State::excluded
                                   << Reason::excludedName;
    QTest::newRow("our own names") << u".nimbal-folder"_qs << State::excluded
                                   << Reason::excludedName;
    QTest::newRow("beneath our own names")
        << u".nimbal-12.part/x"_qs << State::excluded << Reason::excludedName;
    QTest::newRow("climbing out") << u"docs/../../etc"_qs << State::excluded
                                  << Reason::excludedName;
    QTest::newRow("symbolic link") << u"link"_qs << State::excluded << Reason::specialFile;
    QTest::newRow("nowhere") << u"nowhere.txt"_qs << State::unknown << Reason::none;
    QTest::newRow("nowhere, in a folder unknown")
        << u"nowhere/x.txt"_qs << State::unknown << Reason::none;
    // A folder takes the worst of what it holds, what is still on the drive only included.
    QTest::newRow("folder with a new file") << u"docs"_qs << State::pendingUpload << Reason::none;
    QTest::newRow("folder all synchronised") << u"clean"_qs << State::synced << Reason::none;
    // Its archived file is the worst: there, yet never on this disk.
    QTest::newRow("the whole folder") << QString() << State::excluded << Reason::archived;
}

void TestDomainActivity::pathStates()
{
    QFETCH(QString, path);
    QFETCH(ItemStatus::State, state);
    QFETCH(ItemStatus::Reason, reason);
    const Scene scene;
    const ItemStatus found = scene.status(path);
    QCOMPARE(ItemStatus::word(found.state), ItemStatus::word(state));
    QCOMPARE(ItemStatus::word(found.reason), ItemStatus::word(reason));
}

void TestDomainActivity::anUploadUnderWayShowsOnTheFileSentOnly()
{
    const Scene scene;
    const QSet<QString> sending{u"new.txt"_qs};
    QCOMPARE(scene.status(u"new.txt"_qs, sending).state, ItemStatus::State::uploading);
    QCOMPARE(scene.status(u"edited.txt"_qs, sending).state, ItemStatus::State::pendingUpload);
    QCOMPARE(scene.status(u"synced.txt"_qs, sending).state, ItemStatus::State::synced);
    // Held open for writing: not sent before it is closed and quiet.
    QFile open(scene.path(u"edited.txt"_qs));
    QVERIFY(open.open(QIODevice::Append));
    const ItemStatus writing = scene.status(u"edited.txt"_qs);
    QCOMPARE(writing.state, ItemStatus::State::pendingUpload);
    QCOMPARE(writing.reason, ItemStatus::Reason::beingWritten);
}

void TestDomainActivity::remainingCountsEachWayAndMovesOnce()
{
    const Scene scene;
    const RemainingWork left = scene.remaining();
    // To send: edited.txt (13 bytes), new.txt (7), docs/new inside.txt (3), the conflict copy
    // (4), moved-after.txt (a move, no bytes), deleted.txt (a removal). The litter and the link
    // never go.
    QCOMPARE(left.itemsToSend, 6);
    QCOMPARE(left.bytesToSend, 13 + 7 + 3 + 4);
    // To receive: stale.txt (5 bytes) and remote-only.txt (5); the archived file never comes.
    QCOMPARE(left.itemsToReceive, 2);
    QCOMPARE(left.bytesToReceive, 10);
}

void TestDomainActivity::pausesEndOnTimeAndSurviveARestart_data()
{
    QTest::addColumn<qint64>("until");
    QTest::addColumn<qint64>("readAt");
    QTest::addColumn<bool>("paused");
    QTest::newRow("until resumed, much later") << qint64(0) << qint64(9'000'000'000) << true;
    QTest::newRow("before its end") << qint64(1000) << qint64(999) << true;
    QTest::newRow("at its end") << qint64(1000) << qint64(1000) << false;
    QTest::newRow("after its end") << qint64(1000) << qint64(5000) << false;
}

void TestDomainActivity::pausesEndOnTimeAndSurviveARestart()
{
    QFETCH(qint64, until);
    QFETCH(qint64, readAt);
    QFETCH(bool, paused);
    const QTemporaryDir folder;
    const QString file = folder.filePath(u"domain-states.json"_qs);
    {
        DomainStates states(file);
        states.pause(u"a@example.org"_qs, until);
        states.synchronised(u"a@example.org"_qs, 500);
        QVERIFY(states.save());
    }
    DomainStates restarted(file);
    restarted.load();
    QCOMPARE(restarted.isPaused(u"a@example.org"_qs, readAt), paused);
    QCOMPARE(restarted.state(u"a@example.org"_qs).lastSync, 500);
    QCOMPARE(restarted.expire(readAt).contains(u"a@example.org"_qs), !paused && until != 0);
    QCOMPARE(restarted.isPaused(u"a@example.org"_qs, readAt), paused);
    QVERIFY(!restarted.isPaused(u"b@example.org"_qs, readAt));
}

void TestDomainActivity::theNearestEndIsTheOneWaitedFor()
{
    DomainStates states(QString{});
    QCOMPARE(states.nextEnd(), std::nullopt);
    states.pause(u"a"_qs, 0);
    QCOMPARE(states.nextEnd(), std::nullopt);
    states.pause(u"b"_qs, 3000);
    states.pause(u"c"_qs, 2000);
    QCOMPARE(states.nextEnd(), 2000);
    states.resume(u"c"_qs);
    QCOMPARE(states.nextEnd(), 3000);
    states.forget(u"b"_qs);
    QCOMPARE(states.nextEnd(), std::nullopt);
}

QTEST_GUILESS_MAIN(TestDomainActivity)
#include "test_domain_activity.moc"
