// SPDX-License-Identifier: GPL-3.0-or-later
// The status line of a pause, shared by the panel and the terminal: its end as an hour today, as
// a date on another day, in local time (the test runs with TZ=UTC).
#include "sync/PauseText.h"

#include <QTest>
#include <QTimeZone>

using namespace OrvelanNimbal;

class TestPauseText : public QObject {
    Q_OBJECT

private slots:
    void wording_data()
    {
        QTest::addColumn<QDateTime>("until"); // invalid: no end
        QTest::addColumn<QString>("expected");
        const QTimeZone utc = QTimeZone::utc();
        QTest::newRow("until resumed") << QDateTime() << u"Synchronisation en pause"_qs;
        QTest::newRow("later today: the hour")
            << QDateTime(QDate(2024, 3, 5), QTime(14, 5), utc)
            << u"Synchronisation en pause jusqu'à 14:05"_qs;
        QTest::newRow("tomorrow: the day and the hour")
            << QDateTime(QDate(2024, 3, 6), QTime(9, 0), utc)
            << u"Synchronisation en pause jusqu'au 6 mars à 09:00"_qs;
        QTest::newRow("the first of a month, the French way")
            << QDateTime(QDate(2024, 4, 1), QTime(0, 30), utc)
            << u"Synchronisation en pause jusqu'au 1er avril à 00:30"_qs;
        QTest::newRow("an end given in another zone is read in local time")
            << QDateTime(QDate(2024, 3, 5), QTime(15, 5), QTimeZone(3600))
            << u"Synchronisation en pause jusqu'à 14:05"_qs;
        QTest::newRow("local midnight is already another day")
            << QDateTime(QDate(2024, 3, 5), QTime(23, 59), QTimeZone(-3600))
            << u"Synchronisation en pause jusqu'au 6 mars à 00:59"_qs;
    }

    void wording()
    {
        QFETCH(QDateTime, until);
        QFETCH(QString, expected);
        const QDateTime now(QDate(2024, 3, 5), QTime(10, 0), QTimeZone::utc());
        QCOMPARE(pauseText(until.isValid() ? std::optional(until) : std::nullopt, now), expected);
    }
};

QTEST_GUILESS_MAIN(TestPauseText)
#include "test_pause_text.moc"
