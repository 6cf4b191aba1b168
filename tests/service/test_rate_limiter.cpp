// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/RateLimiter.h"

#include <QTest>

using namespace OrvelanNimbal::Service;

class TestRateLimiter : public QObject {
    Q_OBJECT

private slots:
    void closesAfterTooManyFailures_data();
    void closesAfterTooManyFailures();
    void successClearsTheCount();
    void keysAreSeparate();
};

void TestRateLimiter::closesAfterTooManyFailures_data() {
    QTest::addColumn<QList<qint64>>("failures"); // instants of the failed attempts
    QTest::addColumn<qint64>("checkedAt");
    QTest::addColumn<bool>("blocked");
    const QList<qint64> five{0, 1, 2, 3, 4};
    QTest::newRow("four failures") << QList<qint64>{0, 1, 2, 3} << qint64(5) << false;
    QTest::newRow("five failures") << five << qint64(5) << true;
    QTest::newRow("last second of the lockout") << five << qint64(4 + 299) << true;
    QTest::newRow("lockout over") << five << qint64(4 + 300) << false;
    QTest::newRow("failures a window apart")
        << QList<qint64>{0, 1, 2, 3, 900} << qint64(901) << false;
    QTest::newRow("a new series after a lockout")
        << QList<qint64>{0, 1, 2, 3, 4, 400, 401} << qint64(402) << false;
}

void TestRateLimiter::closesAfterTooManyFailures() {
    QFETCH(QList<qint64>, failures);
    QFETCH(qint64, checkedAt);
    QFETCH(bool, blocked);
    RateLimiter limiter;
    for (const qint64 at : failures)
        limiter.recordFailure("login:a", at);
    QCOMPARE(limiter.isBlocked("login:a", checkedAt), blocked);
}

void TestRateLimiter::successClearsTheCount() {
    RateLimiter limiter;
    for (int i = 0; i < 4; ++i)
        limiter.recordFailure("verify:1", i);
    limiter.recordSuccess("verify:1");
    limiter.recordFailure("verify:1", 10);
    QVERIFY(!limiter.isBlocked("verify:1", 11));
}

void TestRateLimiter::keysAreSeparate() {
    RateLimiter limiter;
    for (int i = 0; i < 5; ++i)
        limiter.recordFailure("login:a", i);
    QVERIFY(limiter.isBlocked("login:a", 5));
    QVERIFY(!limiter.isBlocked("login:b", 5));
}

QTEST_GUILESS_MAIN(TestRateLimiter)
#include "test_rate_limiter.moc"
