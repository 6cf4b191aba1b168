// SPDX-License-Identifier: GPL-3.0-or-later
// When the service closes the door on guesses, and for how long.
#include "auth/RateLimiter.h"

#include <QTest>

using namespace OrvelanNimbal::Service;

class TestRateLimiter : public QObject {
    Q_OBJECT

private slots:
    void closesAfterTooManyFailures_data();
    void closesAfterTooManyFailures();
};

void TestRateLimiter::closesAfterTooManyFailures_data()
{
    QTest::addColumn<QList<qint64>>("failures"); // instants of the failed attempts of "a"
    QTest::addColumn<int>("successAfter");       // failures before a success; -1: none
    QTest::addColumn<QByteArray>("key");         // checked
    QTest::addColumn<qint64>("checkedAt");
    QTest::addColumn<bool>("blocked");
    const QList<qint64> five{0, 1, 2, 3, 4};
    QTest::newRow("four failures") << QList<qint64>{0, 1, 2, 3} << -1 << "a"_qba << 5ll << false;
    QTest::newRow("five failures") << five << -1 << "a"_qba << 5ll << true;
    QTest::newRow("last second of the lockout") << five << -1 << "a"_qba << 303ll << true;
    QTest::newRow("lockout over") << five << -1 << "a"_qba << 304ll << false;
    QTest::newRow("failures a window apart")
        << QList<qint64>{0, 1, 2, 3, 900} << -1 << "a"_qba << 901ll << false;
    QTest::newRow("a new series after a lockout")
        << QList<qint64>{0, 1, 2, 3, 4, 400, 401} << -1 << "a"_qba << 402ll << false;
    QTest::newRow("a success clears the count") << five << 4 << "a"_qba << 5ll << false;
    QTest::newRow("another key") << five << -1 << "b"_qba << 5ll << false;
}

void TestRateLimiter::closesAfterTooManyFailures()
{
    QFETCH(QList<qint64>, failures);
    QFETCH(int, successAfter);
    QFETCH(QByteArray, key);
    QFETCH(qint64, checkedAt);
    QFETCH(bool, blocked);
    RateLimiter limiter;
    for (qsizetype i = 0; i < failures.size(); ++i) {
        if (i == successAfter)
            limiter.recordSuccess("a");
        limiter.recordFailure("a", failures[i]);
    }
    QCOMPARE(limiter.isBlocked(key.toStdString(), checkedAt), blocked);
}

QTEST_GUILESS_MAIN(TestRateLimiter)
#include "test_rate_limiter.moc"
