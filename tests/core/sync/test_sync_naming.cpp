// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/SyncNaming.h"

#include <QTest>

using namespace OrvelanNimbal;

class TestSyncNaming : public QObject {
    Q_OBJECT

private slots:
    void excluded_data();
    void excluded();
    void conflictCopyName_data();
    void conflictCopyName();
};

void TestSyncNaming::excluded_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("excluded");

    QTest::newRow("folder metadata") << QStringLiteral(".DS_Store") << true;
    QTest::newRow("localized marker") << QStringLiteral(".localized") << true;
    QTest::newRow("custom icon") << QStringLiteral("Icon\r") << true;
    QTest::newRow("resource fork") << QStringLiteral("._photo.jpg") << true;
    QTest::newRow("office lock") << QStringLiteral(".~lock.rapport.odt#") << true;
    QTest::newRow("office owner file") << QStringLiteral("~$budget.xlsx") << true;
    QTest::newRow("lock without #") << QStringLiteral(".~lock.rapport.odt") << false;
    QTest::newRow("case matters") << QStringLiteral(".ds_store") << false;
    QTest::newRow("icon without CR") << QStringLiteral("Icon") << false;
    QTest::newRow("icon with LF") << QStringLiteral("Icon\n") << false;
    QTest::newRow("metadata as a prefix") << QStringLiteral(".DS_Store.bak") << false;
    QTest::newRow("hidden file") << QStringLiteral(".profile") << false;
    QTest::newRow("dot-underscore inside") << QStringLiteral("a._b") << false;
    QTest::newRow("plain file") << QStringLiteral("Rapport.docx") << false;
    QTest::newRow("empty name") << QString() << false;
}

void TestSyncNaming::excluded() {
    QFETCH(QString, name);
    QFETCH(bool, excluded);
    QCOMPARE(SyncNaming::isExcludedFromSync(name), excluded);
}

void TestSyncNaming::conflictCopyName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QDateTime>("instant");
    QTest::addColumn<QTimeZone>("zone");
    QTest::addColumn<QString>("expected");

    const QTimeZone utc = QTimeZone::utc();
    const QDateTime march5 = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 59), utc);
    const QDateTime lateEvening = QDateTime(QDate(2024, 3, 5), QTime(23, 30), utc);
    const QDateTime earlyMorning = QDateTime(QDate(2024, 3, 1), QTime(2, 0), utc);

    QTest::newRow("extension, seconds dropped")
        << QStringLiteral("Rapport.docx") << march5 << utc
        << QStringLiteral("Rapport (conflit Mac 2024-03-05 14h07).docx");
    QTest::newRow("no dot") << QStringLiteral("Notes") << march5 << utc
                            << QStringLiteral("Notes (conflit Mac 2024-03-05 14h07)");
    QTest::newRow("only the last extension moves")
        << QStringLiteral("archive.tar.gz") << march5 << utc
        << QStringLiteral("archive.tar (conflit Mac 2024-03-05 14h07).gz");
    QTest::newRow("two hours ahead: next day")
        << QStringLiteral("a.txt") << lateEvening << QTimeZone(2 * 3600)
        << QStringLiteral("a (conflit Mac 2024-03-06 01h30).txt");
    QTest::newRow("five hours behind: previous day, leap year")
        << QStringLiteral("a.txt") << earlyMorning << QTimeZone(-5 * 3600)
        << QStringLiteral("a (conflit Mac 2024-02-29 21h00).txt");
    QTest::newRow("half-hour zone")
        << QStringLiteral("a.txt") << march5 << QTimeZone(5 * 3600 + 1800)
        << QStringLiteral("a (conflit Mac 2024-03-05 19h37).txt");
    QTest::newRow("instant given in another zone")
        << QStringLiteral("a.txt") << march5.toTimeZone(QTimeZone(-8 * 3600)) << utc
        << QStringLiteral("a (conflit Mac 2024-03-05 14h07).txt");
    QTest::newRow("year below 1000 padded")
        << QStringLiteral("a") << QDateTime(QDate(999, 1, 2), QTime(3, 4), utc) << utc
        << QStringLiteral("a (conflit Mac 0999-01-02 03h04)");
    QTest::newRow("invalid instant counts as zeros")
        << QStringLiteral("a.txt") << QDateTime() << utc
        << QStringLiteral("a (conflit Mac 0000-00-00 00h00).txt");
    QTest::newRow("leading dot is not an extension")
        << QStringLiteral(".profile") << march5 << utc
        << QStringLiteral(".profile (conflit Mac 2024-03-05 14h07)");
    QTest::newRow("hidden file with an extension")
        << QStringLiteral(".profile.bak") << march5 << utc
        << QStringLiteral(".profile (conflit Mac 2024-03-05 14h07).bak");
    QTest::newRow("trailing dot is not an extension")
        << QStringLiteral("Notes.") << march5 << utc
        << QStringLiteral("Notes. (conflit Mac 2024-03-05 14h07)");
    QTest::newRow("spaces kept") << QStringLiteral("mon rapport.final v2") << march5 << utc
                                 << QStringLiteral("mon rapport (conflit Mac 2024-03-05 14h07)"
                                                   ".final v2");
    // e + U+0301 COMBINING ACUTE ACCENT, as file systems that decompose names store it.
    QTest::newRow("decomposed accents stay whole")
        << QStringLiteral("Re\u0301sume\u0301.re\u0301su") << march5 << utc
        << QStringLiteral("Re\u0301sume\u0301 (conflit Mac 2024-03-05 14h07).re\u0301su");
    QTest::newRow("precomposed accents")
        << QStringLiteral("Été.pagés") << march5 << utc
        << QStringLiteral("Été (conflit Mac 2024-03-05 14h07).pagés");
    QTest::newRow("accented dot is not a separator")
        << QStringLiteral("a.b.\u0301c") << march5 << utc
        << QStringLiteral("a (conflit Mac 2024-03-05 14h07).b.\u0301c");
    QTest::newRow("emoji extension")
        << QStringLiteral("x.\U0001F600") << march5 << utc
        << QStringLiteral("x (conflit Mac 2024-03-05 14h07).\U0001F600");

    const QTimeZone paris("Europe/Paris");
    if (paris.isValid()) {
        QTest::newRow("named zone in summer time")
            << QStringLiteral("a.txt") << QDateTime(QDate(2024, 7, 1), QTime(10, 0), utc) << paris
            << QStringLiteral("a (conflit Mac 2024-07-01 12h00).txt");
        QTest::newRow("named zone in winter time")
            << QStringLiteral("a.txt") << QDateTime(QDate(2024, 1, 1), QTime(10, 0), utc) << paris
            << QStringLiteral("a (conflit Mac 2024-01-01 11h00).txt");
    }
}

void TestSyncNaming::conflictCopyName() {
    QFETCH(QString, name);
    QFETCH(QDateTime, instant);
    QFETCH(QTimeZone, zone);
    QFETCH(QString, expected);
    QCOMPARE(SyncNaming::conflictCopyName(name, instant, zone), expected);
}

QTEST_GUILESS_MAIN(TestSyncNaming)
#include "test_sync_naming.moc"
