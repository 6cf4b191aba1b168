// SPDX-License-Identifier: GPL-3.0-or-later
// The journal as the engine leaves it between runs: a journal of the earlier layout read and
// brought up to date, names back exactly as written, rows found by path and by parent after
// they move, intents and failures that outlive the process; and the table of waits after a
// failure, by kind.
#include "engine/Journal.h"
#include "engine/RetryPolicy.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"

#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::FileProvider;
using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;

namespace {

ItemRecord placed(ItemKey key, qint64 parent, const QString &name, const QString &path)
{
    ItemRecord record;
    record.key = key;
    record.remote.parentID = parent;
    record.remote.name = name;
    record.remote.contentHash = QStringLiteral("abc");
    record.remote.uploaded = 1700000000;
    record.base.path = path;
    record.base.parentID = parent;
    record.base.contentHash = QStringLiteral("abc");
    record.base.uploaded = 1700000000;
    record.base.inode = 77;
    return record;
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT

private slots:
    void earlierLayoutIsBroughtUpToDate();
    void namesComeBackAsWritten_data();
    void namesComeBackAsWritten();
    void rowsAreFoundWhereTheyAreNow();
    void batchKeptAfterAFailedCommitComesFirst();
    void intentsAndFailuresOutliveTheProcess();
    void waitsAfterAFailure_data();
    void waitsAfterAFailure();
    void failuresAreSortedByKind_data();
    void failuresAreSortedByKind();

private:
    QTemporaryDir m_directory;
};

void TestJournal::earlierLayoutIsBroughtUpToDate()
{
    const QString path = m_directory.filePath(u"ancien.sqlite"_qs);
    {
        // The first layout, with one synchronised file and a cursor, as the earlier engine
        // wrote it.
        SqliteDatabase db(path);
        db.exec(R"sql(
CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID;
CREATE TABLE items (
    kind INTEGER NOT NULL, id INTEGER NOT NULL,
    parent INTEGER NOT NULL, name TEXT NOT NULL, size INTEGER NOT NULL, hash TEXT NOT NULL,
    uploaded INTEGER NOT NULL, modified INTEGER NOT NULL, class TEXT NOT NULL,
    present INTEGER NOT NULL,
    path TEXT NOT NULL, local_size INTEGER NOT NULL, local_hash TEXT NOT NULL,
    local_uploaded INTEGER NOT NULL, mtime_ns INTEGER NOT NULL, inode INTEGER NOT NULL,
    skipped TEXT NOT NULL,
    PRIMARY KEY (kind, id)) WITHOUT ROWID;
INSERT INTO meta VALUES ('schema', '1'), ('cursor', '42'), ('folder', 'marqueur');
INSERT INTO items VALUES (2, 12, 3, 'a.txt', 5, 'abc', 1700000000, 1700000000, 'standard', 1,
    'Documents/a.txt', 5, 'abc', 1700000000, 123, 77, '');
)sql");
    }
    Journal journal(path);
    QCOMPARE(journal.cursor(), std::optional<qint64>(42));
    QCOMPARE(journal.folderID(), u"marqueur"_qs);
    const std::optional<ItemRecord> row = journal.itemAt(u"Documents/a.txt"_qs);
    QVERIFY(row);
    QCOMPARE(row->key, ItemKey::file(12));
    QCOMPARE(row->base.parentID, 3); // the base's parent, from the service's side of then
    QCOMPARE(row->base.inode, quint64(77));
    // The new tables are there.
    Intent intent;
    intent.kind = Intent::Kind::download;
    intent.key = ItemKey::file(12);
    intent.path = u"Documents/.nimbal-12.part"_qs;
    QVERIFY(journal.record(intent) > 0);
    QCOMPARE(journal.intents().size(), std::size_t(1));
    // Opened again, it is not migrated twice.
    Journal again(path);
    QCOMPARE(again.items().size(), 1);
}

void TestJournal::namesComeBackAsWritten_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("byte-order mark first") << QString(QChar(0xfeff)) + u"bom.txt"_qs;
    QTest::newRow("decomposed accent") << u"e\u0301te\u0301.txt"_qs;
    QTest::newRow("composed accent") << u"\u00e9t\u00e9.txt"_qs;
    QTest::newRow("outside the first plane") << u"photo 🏔.jpg"_qs;
    QTest::newRow("spaces at both ends") << u" a.txt "_qs;
}

void TestJournal::namesComeBackAsWritten()
{
    QFETCH(QString, name);
    Journal journal(m_directory.filePath(u"noms.sqlite"_qs));
    Journal::Batch batch;
    batch.put(placed(ItemKey::file(5), 0, name, u"dossier/"_qs + name));
    journal.commit(batch);
    const std::optional<ItemRecord> row = journal.itemAt(u"dossier/"_qs + name);
    QVERIFY(row);
    QCOMPARE(row->remote.name, name);
    QCOMPARE(row->base.path, u"dossier/"_qs + name);
    QCOMPARE(row->remote.name.toUtf8(), name.toUtf8());
}

// A commit that failed keeps its batch ahead of what came meanwhile: the newer rows and the
// newer cursor win, nothing of either is lost.
void TestJournal::batchKeptAfterAFailedCommitComesFirst()
{
    Journal journal(m_directory.filePath(u"reprise.sqlite"_qs));
    Journal::Batch failed;
    failed.put(placed(ItemKey::file(7), 0, u"ancien.txt"_qs, u"ancien.txt"_qs));
    failed.put(placed(ItemKey::file(8), 0, u"seul.txt"_qs, u"seul.txt"_qs));
    failed.setCursor(3);
    Journal::Batch meanwhile;
    meanwhile.put(placed(ItemKey::file(7), 0, u"nouveau.txt"_qs, u"nouveau.txt"_qs));
    meanwhile.setCursor(5);
    failed.append(std::move(meanwhile));
    journal.commit(failed);
    QCOMPARE(journal.cursor(), std::optional<qint64>(5));
    QCOMPARE(journal.item(ItemKey::file(7))->base.path, u"nouveau.txt"_qs);
    QVERIFY(journal.item(ItemKey::file(8)));
}

void TestJournal::rowsAreFoundWhereTheyAreNow()
{
    Journal journal(m_directory.filePath(u"requêtes.sqlite"_qs));
    Journal::Batch first;
    first.put(placed(ItemKey::folder(1), 0, u"Docs"_qs, u"Docs"_qs));
    first.put(placed(ItemKey::file(2), 1, u"a.txt"_qs, u"Docs/a.txt"_qs));
    first.put(placed(ItemKey::file(3), 1, u"b.txt"_qs, u"Docs/b.txt"_qs));
    journal.commit(first);
    QCOMPARE(journal.itemsUnder(1).size(), std::size_t(2));

    // a.txt moves to the top, b.txt goes: the queries follow.
    Journal::Batch second;
    second.put(placed(ItemKey::file(2), 0, u"a.txt"_qs, u"a.txt"_qs));
    second.remove(ItemKey::file(3));
    journal.commit(second);
    QVERIFY(!journal.itemAt(u"Docs/a.txt"_qs));
    QCOMPARE(journal.itemAt(u"a.txt"_qs)->key, ItemKey::file(2));
    QCOMPARE(journal.itemsUnder(1).size(), std::size_t(0));
    QCOMPARE(journal.itemsUnder(0).size(), std::size_t(2));
    QCOMPARE(journal.itemCount(), 2);
    QVERIFY(!journal.itemAt(QString())); // "not on disk" is no path
}

void TestJournal::intentsAndFailuresOutliveTheProcess()
{
    const QString path = m_directory.filePath(u"intentions.sqlite"_qs);
    Failure failure{u"f:9"_qs, FailureKind::locked, 2, u"Fichier verrouillé"_qs, 1234,
                    u"empreinte"_qs};
    qint64 number = 0;
    {
        Journal journal(path);
        Intent intent;
        intent.kind = Intent::Kind::upload;
        intent.path = u"grand.bin"_qs;
        intent.uploadID = u"upload-1"_qs;
        intent.storageKey = u"parts/upload-1"_qs;
        number = journal.record(intent); // committed alone, at once
        Journal::Batch batch;
        batch.putFailure(failure);
        journal.commit(batch);
    }
    Journal journal(path);
    const std::vector<Intent> intents = journal.intents();
    QCOMPARE(intents.size(), std::size_t(1));
    QCOMPARE(intents.front().uploadID, u"upload-1"_qs);
    QCOMPARE(intents.front().number, number);
    QCOMPARE(journal.failure(u"f:9"_qs), std::optional<Failure>(failure));

    Journal::Batch done;
    done.dropIntent(number);
    done.clearFailure(u"f:9"_qs);
    journal.commit(done);
    QVERIFY(journal.intents().empty());
    QVERIFY(journal.failures().empty());
}

void TestJournal::waitsAfterAFailure_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<qint64>("retryAfter"); // seconds; -1 when the service said nothing
    QTest::addColumn<qint64>("expected");   // seconds
    const auto row = [](const char *name, FailureKind kind, int attempts, qint64 retryAfter,
                        seconds expected) {
        QTest::newRow(name) << int(kind) << attempts << retryAfter << qint64(expected.count());
    };
    row("service, first", FailureKind::service, 1, -1, seconds(25));
    row("service, fifth", FailureKind::service, 5, -1, seconds(25));
    row("service, sixth", FailureKind::service, 6, -1, minutes(5));
    row("service, many", FailureKind::service, 40, -1, hours(24));
    row("service, Retry-After longer", FailureKind::service, 1, 120, seconds(120));
    row("service, Retry-After shorter", FailureKind::service, 6, 10, minutes(5));
    row("service, Retry-After beyond a day", FailureKind::service, 1, 200000, hours(24));
    row("locked, first", FailureKind::locked, 1, -1, seconds(30));
    row("locked, fourth", FailureKind::locked, 4, -1, minutes(5));
    row("locked, then every ten minutes", FailureKind::locked, 9, -1, minutes(10));
    row("quota", FailureKind::quota, 3, -1, minutes(15));
    row("the disk", FailureKind::local, 7, -1, minutes(5));
    row("refused", FailureKind::refused, 1, -1, minutes(5));
}

void TestJournal::waitsAfterAFailure()
{
    QFETCH(int, kind);
    QFETCH(int, attempts);
    QFETCH(qint64, retryAfter);
    QFETCH(qint64, expected);
    std::optional<seconds> asked;
    if (retryAfter >= 0)
        asked = seconds(retryAfter);
    QCOMPARE(waitAfter(FailureKind(kind), attempts, asked).count(), expected);
}

void TestJournal::failuresAreSortedByKind_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("endsThePass");
    QTest::newRow("5xx") << 0 << int(FailureKind::service) << false;
    QTest::newRow("429") << 1 << int(FailureKind::service) << false;
    QTest::newRow("transport") << 2 << int(FailureKind::service) << false;
    QTest::newRow("423") << 3 << int(FailureKind::locked) << false;
    QTest::newRow("507") << 4 << int(FailureKind::quota) << false;
    QTest::newRow("400") << 5 << int(FailureKind::refused) << false;
    QTest::newRow("unreadable file") << 6 << int(FailureKind::local) << false;
    QTest::newRow("session gone") << 7 << int(FailureKind::refused) << true;
    QTest::newRow("journal") << 8 << int(FailureKind::local) << true;
}

void TestJournal::failuresAreSortedByKind()
{
    QFETCH(int, error);
    QFETCH(int, kind);
    QFETCH(bool, endsThePass);
    const auto check = [&](const std::exception &thrown) {
        QCOMPARE(int(failureKind(thrown)), kind);
        QCOMPARE(FileProvider::endsThePass(thrown), endsThePass);
    };
    switch (error) {
    case 0:
        check(DriveError::http(503, {}));
        break;
    case 1:
        check(DriveError::http(429, {}));
        break;
    case 2:
        check(DriveError::transport(u"coupé"_qs));
        break;
    case 3:
        check(DriveError::locked());
        break;
    case 4:
        check(DriveError::insufficientQuota());
        break;
    case 5:
        check(DriveError::http(400, {}));
        break;
    case 6:
        check(FileError(u"/x"_qs, u"Permission non accordée"_qs));
        break;
    case 7:
        check(DriveError::notAuthenticated());
        break;
    default:
        check(JournalError(u"disque plein"_qs));
        break;
    }
}

QTEST_GUILESS_MAIN(TestJournal)
#include "test_journal.moc"
