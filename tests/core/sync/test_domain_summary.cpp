// SPDX-License-Identifier: GPL-3.0-or-later
// The summary the extension leaves for the application: its bookkeeping, its two messages, its
// file as both programs read it, and the atomic replacement that lets them share it unlocked.
#include "DriveModelsTesting.h"
#include "sync/DomainSummary.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <sys/stat.h>
#include <thread>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

namespace {

const QDateTime referenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

DomainSummary summaryOf(QSet<qint64> ids, QList<DomainSummary::Conflict> conflicts = {})
{
    return {std::move(ids), std::move(conflicts)};
}

mode_t permissionBits(const QString &path)
{
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

} // namespace

class TestDomainSummary : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_folder.emplace().isValid()); }
    void bookkeeping();
    void loading_data();
    void loading();
    void savedAndLoadedAgain();
    void onlyTheUserMayRead();
    void readersNeverSeeAPartialFile();

private:
    QString path() const { return m_folder->filePath(QStringLiteral("summary-a.json")); }
    QUrl url() const { return QUrl::fromLocalFile(path()); }

    std::optional<QTemporaryDir> m_folder; // a new one for each test
};

void TestDomainSummary::bookkeeping()
{
    DomainSummary summary = summaryOf({5, 9, 11});
    QCOMPARE(summary.lastConflictLabel(), std::nullopt);
    // Only the ten newest conflicts are kept, newest first.
    for (int i = 1; i <= 12; ++i)
        summary.recordConflict(QStringLiteral("f%1").arg(i), QStringLiteral("c%1").arg(i),
                               utc(1700000000 + i));
    QCOMPARE(summary.conflicts.size(), 10);
    QCOMPARE(summary.conflicts.first().originalName, QStringLiteral("f12"));
    QCOMPARE(summary.conflicts.first().date, utc(1700000012));
    QCOMPARE(summary.conflicts.last().originalName, QStringLiteral("f3"));
    QCOMPARE(summary.lastConflictLabel(),
             QStringLiteral("Conflit sur « f12 » : votre version est enregistrée sous « c12 »."));

    // Archived and not trashed counts; 11, not in the listing, stays as it was.
    const auto listed = [](qint64 id, bool trashed, StorageClass storageClass) {
        return driveFile(id, QStringLiteral("a"), [=](DriveFile &f) {
            f.isTrashed = trashed;
            f.storageClass = storageClass;
        });
    };
    summary.apply({listed(5, false, StorageClass::standard),
                   listed(7, false, StorageClass::glacier),
                   listed(9, true, StorageClass::glacier)});
    QCOMPARE(summary.archivedFileIDs, (QSet<qint64>{7, 11}));
    QCOMPARE(summary.conflicts.size(), 10);
    QCOMPARE(summary.archivedLabel(),
             QStringLiteral("2 fichiers archivés, disponibles depuis le web."));
    summary.apply({listed(7, false, StorageClass::standard)});
    QCOMPARE(summary.archivedLabel(),
             QStringLiteral("1 fichier archivé, disponible depuis le web."));
    summary.apply({listed(11, true, StorageClass::unarchiving)});
    QCOMPARE(summary.archivedLabel(), std::nullopt);
}

void TestDomainSummary::loading_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<std::optional<DomainSummary>>("expected");
    const std::optional<DomainSummary> unreadable;
    const auto conflictOn = [](const QDateTime &date) {
        return std::optional(summaryOf({}, {{QStringLiteral("X"), QStringLiteral("Y"), date}}));
    };

    QTest::newRow("nulls") << QByteArray(R"({"archivedFileIDs":null,"conflicts":null})")
                           << std::optional(DomainSummary());
    QTest::newRow("date 0 is the first instant of 2001")
        << QByteArray(R"({"conflicts":[{"originalName":"X","copyName":"Y","date":0}]})")
        << conflictOn(referenceDate);
    QTest::newRow("fractional dates, to the millisecond")
        << QByteArray(R"({"conflicts":[{"date":725976000.25,"copyName":"Y","originalName":"X"}]})")
        << conflictOn(QDateTime(QDate(2024, 1, 3), QTime(12, 0, 0, 250), Qt::UTC));
    QTest::newRow("repeated ids, 64 bits, unknown keys")
        << QByteArray(R"({"v":2,"archivedFileIDs":[1,1,9007199254740993],"conflicts":[]})")
        << std::optional(summaryOf({1, 9007199254740993}));
    QTest::newRow("names that begin with U+FEFF")
        << QByteArray("{\"conflicts\":[{\"originalName\":\"\\ufeffX\","
                      "\"copyName\":\"\xEF\xBB\xBFY\",\"date\":0}]}")
        << std::optional(summaryOf(
               {}, {{QStringLiteral("\uFEFFX"), QStringLiteral("\uFEFFY"), referenceDate}}));
    QTest::newRow("a conflict without a date")
        << QByteArray(R"({"conflicts":[{"originalName":"X","copyName":"Y"}]})") << unreadable;
    QTest::newRow("a date out of reach")
        << QByteArray(R"({"conflicts":[{"originalName":"X","copyName":"Y","date":1e300}]})")
        << unreadable;
    QTest::newRow("half a file") << QByteArray(R"({"archivedFileIDs":[1,2)") << unreadable;
}

void TestDomainSummary::loading()
{
    QFETCH(QByteArray, contents);
    QFETCH(std::optional<DomainSummary>, expected);
    QFile file(path());
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    file.close();
    QVERIFY(DomainSummary::load(url()) == expected);
}

void TestDomainSummary::savedAndLoadedAgain()
{
    QCOMPARE(DomainSummary::load(url()), std::nullopt); // no file yet
    QCOMPARE(DomainSummary::load(std::nullopt), std::nullopt);

    // Ids sorted, dates in seconds since 2001-01-01 UTC.
    const DomainSummary summary =
        summaryOf({3, 9007199254740993, -1},
                  {{QStringLiteral("X"), QStringLiteral("Y"), referenceDate},
                   {QStringLiteral("é\""), QStringLiteral("Z"), referenceDate.addMSecs(-1500)}});
    summary.save(url());
    QFile file(path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray(R"({"archivedFileIDs":[-1,3,9007199254740993],"conflicts":[)"
                        R"({"copyName":"Y","date":0,"originalName":"X"},)"
                        "{\"copyName\":\"Z\",\"date\":-1.5,\"originalName\":\"é\\\"\"}]}"));
    QVERIFY(DomainSummary::load(url()) == summary);
    QCOMPARE(DomainSummary().toJson(), QByteArray(R"({"archivedFileIDs":[],"conflicts":[]})"));

    // Every character of a name survives the file, a leading U+FEFF included.
    const DomainSummary marked = summaryOf(
        {}, {{QStringLiteral("\uFEFFX"), QStringLiteral("\uFEFF\uFEFFY"), referenceDate}});
    marked.save(url());
    QVERIFY(DomainSummary::load(url()) == marked);

    // A later save replaces the file whole.
    summaryOf({1}).save(url());
    QVERIFY(DomainSummary::load(url()) == summaryOf({1}));

    // Missing folders are not created.
    const QString missing = m_folder->filePath(QStringLiteral("container"));
    summaryOf({1}).save(QUrl::fromLocalFile(missing + QStringLiteral("/summary-a.json")));
    QVERIFY(!QFileInfo::exists(missing));
}

void TestDomainSummary::onlyTheUserMayRead()
{
    summaryOf({1}).save(url());
    QCOMPARE(permissionBits(path()), mode_t(0600));

    // A file left readable by others is replaced by one that is not.
    QVERIFY(QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                              | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    QCOMPARE(permissionBits(path()), mode_t(0644));
    summaryOf({2}).save(url());
    QCOMPARE(permissionBits(path()), mode_t(0600));
    QVERIFY(DomainSummary::load(url()) == summaryOf({2}));
}

void TestDomainSummary::readersNeverSeeAPartialFile()
{
    // Summaries of very different sizes, so that a torn read could not pass for one of them.
    std::vector<DomainSummary> saved;
    for (int variant = 0; variant < 4; ++variant) {
        DomainSummary summary;
        for (qint64 id = 0; id < 3000 * variant + 1; ++id)
            summary.archivedFileIDs.insert(id * 7919 + variant);
        for (int i = 0; i <= variant * 3; ++i)
            summary.recordConflict(QStringLiteral("n%1-%2").arg(variant).arg(i),
                                   QStringLiteral("c%1").arg(i), utc(1700000000 + i));
        saved.push_back(summary);
    }

    std::atomic<bool> firstSaveDone = false, stop = false, started = false;
    std::atomic<int> wrongReads = 0;
    std::thread reader([&, url = url()] {
        while (!stop) {
            // Read before loading: once a save has completed the file can never be missing.
            const bool mustExist = firstSaveDone;
            const std::optional<DomainSummary> read = DomainSummary::load(url);
            started = true;
            if (read ? std::find(saved.begin(), saved.end(), *read) == saved.end() : mustExist)
                ++wrongReads;
        }
    });
    while (!started)
        std::this_thread::yield();
    for (int round = 0; round < 60; ++round) {
        saved[size_t(round) % saved.size()].save(url());
        firstSaveDone = true;
    }
    stop = true;
    reader.join();
    QCOMPARE(wrongReads.load(), 0);
}

QTEST_GUILESS_MAIN(TestDomainSummary)
#include "test_domain_summary.moc"
