// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/SyncNaming.h"

#include <QTest>

using namespace OrvelanNimbal;

namespace {

const QTimeZone utc = QTimeZone::utc();
const QDateTime march5(QDate(2024, 3, 5), QTime(14, 7, 59), utc);

// The copy of `name` made on 2024-03-05 at 14:07:59 UTC; "@" in `expected` stands for the stamp.
void addName(const char *row, const char *name, const char *expected)
{
    QTest::newRow(row) << QString::fromUtf8(name) << march5 << utc
                       << QString::fromUtf8(expected).replace(
                              u'@', QStringLiteral(" (conflit Linux 2024-03-05 14h07)"));
}

// The copy of "a.txt" made at `instant`, stamped as seen from `zone`.
void addStamp(const char *row, const QDateTime &instant, const QTimeZone &zone, const char *stamp)
{
    QTest::newRow(row) << QStringLiteral("a.txt") << instant << zone
                       << QStringLiteral("a (conflit Linux %1).txt").arg(QLatin1String(stamp));
}

} // namespace

class TestSyncNaming : public QObject {
    Q_OBJECT

private slots:
    void excluded_data();
    void excluded();
    void conflictCopyName_data();
    void conflictCopyName();
    void conflictCopyOrigin_data();
    void conflictCopyOrigin();
};

void TestSyncNaming::excluded_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("excluded");

    // Folder metadata, localisation markers, custom icons, resource forks, office locks and
    // owner files.
    for (const char *name : {".DS_Store", ".localized", "Icon\r", "._photo.jpg",
                             ".~lock.rapport.odt#", "~$budget.xlsx"})
        QTest::addRow("excluded: %s", name) << QString::fromUtf8(name) << true;
    // Near misses: a lock without its #, another case, an icon without its CR or with another
    // line break, a name that only starts like one, a hidden file, "._" inside, no name at all.
    for (const char *name : {".~lock.rapport.odt", ".ds_store", "Icon", "Icon\n", ".DS_Store.bak",
                             ".profile", "a._b", ""})
        QTest::addRow("kept: %s", name) << QString::fromUtf8(name) << false;
}

void TestSyncNaming::excluded()
{
    QFETCH(QString, name);
    QFETCH(bool, excluded);
    QCOMPARE(SyncNaming::isExcludedFromSync(name), excluded);
}

void TestSyncNaming::conflictCopyName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QDateTime>("instant");
    QTest::addColumn<QTimeZone>("zone");
    QTest::addColumn<QString>("expected");

    addName("extension, seconds dropped", "Rapport.docx", "Rapport@.docx");
    addName("no dot", "Notes", "Notes@");
    addName("only the last extension moves", "archive.tar.gz", "archive.tar@.gz");
    addName("leading dot is not an extension", ".profile", ".profile@");
    addName("hidden file with an extension", ".profile.bak", ".profile@.bak");
    addName("trailing dot is not an extension", "Notes.", "Notes.@");
    // e + U+0301 COMBINING ACUTE ACCENT, as file systems that decompose names store it.
    addName("decomposed accents stay whole", "Re\u0301sume\u0301.re\u0301su",
            "Re\u0301sume\u0301@.re\u0301su");
    addName("accented dot is not a separator", "a.b.\u0301c", "a@.b.\u0301c");
    addName("emoji extension", "x.\U0001F600", "x@.\U0001F600");

    addStamp("two hours ahead: next day", QDateTime(QDate(2024, 3, 5), QTime(23, 30), utc),
             QTimeZone(2 * 3600), "2024-03-06 01h30");
    addStamp("five hours behind: previous day, leap year",
             QDateTime(QDate(2024, 3, 1), QTime(2, 0), utc), QTimeZone(-5 * 3600),
             "2024-02-29 21h00");
    addStamp("half-hour zone", march5, QTimeZone(5 * 3600 + 1800), "2024-03-05 19h37");
    addStamp("instant given in another zone", march5.toTimeZone(QTimeZone(-8 * 3600)), utc,
             "2024-03-05 14h07");
    addStamp("year below 1000 padded", QDateTime(QDate(999, 1, 2), QTime(3, 4), utc), utc,
             "0999-01-02 03h04");
    addStamp("invalid instant counts as zeros", QDateTime(), utc, "0000-00-00 00h00");
    const QTimeZone paris("Europe/Paris");
    if (paris.isValid()) {
        addStamp("named zone in summer time", QDateTime(QDate(2024, 7, 1), QTime(10, 0), utc),
                 paris, "2024-07-01 12h00");
        addStamp("named zone in winter time", QDateTime(QDate(2024, 1, 1), QTime(10, 0), utc),
                 paris, "2024-01-01 11h00");
    }
}

void TestSyncNaming::conflictCopyName()
{
    QFETCH(QString, name);
    QFETCH(QDateTime, instant);
    QFETCH(QTimeZone, zone);
    QFETCH(QString, expected);
    QCOMPARE(SyncNaming::conflictCopyName(name, instant, zone, u"Linux"), expected);
    // A copy of the copy is named after the original: suffixes never pile up.
    QCOMPARE(SyncNaming::conflictCopyOrigin(expected, u"Linux"), name);
    QCOMPARE(SyncNaming::conflictCopyName(SyncNaming::conflictCopyOrigin(expected, u"Linux"),
                                          instant, zone, u"Linux"),
             expected);
}

void TestSyncNaming::conflictCopyOrigin_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("origin");
    QTest::newRow("numbered copy") << u"a (conflit Linux 2 2024-03-05 14h07).txt"_qs << u"a.txt"_qs;
    QTest::newRow("copy of a hidden file")
        << u".profile (conflit Linux 2024-03-05 14h07)"_qs << u".profile"_qs;
    // Names that only look like copies are the user's own.
    QTest::newRow("another system's word") << u"a (conflit Windows 2024-03-05 14h07).txt"_qs
                                           << u"a (conflit Windows 2024-03-05 14h07).txt"_qs;
    QTest::newRow("suffix in the middle") << u"a (conflit Linux 2024-03-05 14h07) bis.txt"_qs
                                          << u"a (conflit Linux 2024-03-05 14h07) bis.txt"_qs;
    QTest::newRow("nothing before it") << u" (conflit Linux 2024-03-05 14h07).txt"_qs
                                       << u" (conflit Linux 2024-03-05 14h07).txt"_qs;
    QTest::newRow("stamp cut short")
        << u"a (conflit Linux 2024-03-05).txt"_qs << u"a (conflit Linux 2024-03-05).txt"_qs;
}

void TestSyncNaming::conflictCopyOrigin()
{
    QFETCH(QString, name);
    QFETCH(QString, origin);
    QCOMPARE(SyncNaming::conflictCopyOrigin(name, u"Linux"), origin);
}

QTEST_GUILESS_MAIN(TestSyncNaming)
#include "test_sync_naming.moc"
