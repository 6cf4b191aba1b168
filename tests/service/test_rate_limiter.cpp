// SPDX-License-Identifier: GPL-3.0-or-later
// When the service closes the door on guesses, for how long, and to whom.
#include "auth/RateLimiter.h"
#include "auth/SignInThrottle.h"

#include <QTest>

using namespace OrvelanNimbal::Service;

class TestRateLimiter : public QObject {
    Q_OBJECT

private slots:
    void closesAfterTooManyFailures_data();
    void closesAfterTooManyFailures();
    void closesToTheGuesserFirst_data();
    void closesToTheGuesserFirst();
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

void TestRateLimiter::closesToTheGuesserFirst_data()
{
    QTest::addColumn<int>("addresses");      // guessing one account's password…
    QTest::addColumn<int>("failuresEach");   // …this many times from each, all at instant 0
    QTest::addColumn<QByteArray>("checked"); // then the account is tried from this address
    QTest::addColumn<qint64>("checkedAt");
    QTest::addColumn<bool>("closed");
    QTest::newRow("the guesser") << 1 << 5 << "10.0.0.0"_qba << 1ll << true;
    QTest::newRow("the owner, elsewhere") << 1 << 5 << "owner"_qba << 1ll << false;
    QTest::newRow("a guesser short of the limit") << 1 << 4 << "10.0.0.0"_qba << 1ll << false;
    QTest::newRow("guesses from everywhere") << 6 << 5 << "owner"_qba << 1ll << true;
    QTest::newRow("short of the ceiling") << 29 << 1 << "owner"_qba << 1ll << false;
    QTest::newRow("at the ceiling") << 30 << 1 << "owner"_qba << 1ll << true;
    QTest::newRow("the ceiling, a minute later") << 30 << 1 << "owner"_qba << 61ll << false;
    QTest::newRow("the guesser, a minute later") << 6 << 5 << "10.0.0.0"_qba << 61ll << true;
}

void TestRateLimiter::closesToTheGuesserFirst()
{
    QFETCH(int, addresses);
    QFETCH(int, failuresEach);
    QFETCH(QByteArray, checked);
    QFETCH(qint64, checkedAt);
    QFETCH(bool, closed);
    constexpr auto step = SignInThrottle::Step::password;
    SignInThrottle throttle;
    for (int address = 0; address < addresses; ++address) {
        for (int i = 0; i < failuresEach; ++i)
            throttle.recordFailure(step, "10.0.0." + std::to_string(address), "compte", 0);
    }

    QCOMPARE(throttle.isClosed(step, checked.toStdString(), "compte", checkedAt), closed);
    // Another account, or the other step, is another count.
    QVERIFY(!throttle.isClosed(step, checked.toStdString(), "autre", checkedAt));
    QVERIFY(
        !throttle.isClosed(SignInThrottle::Step::code, checked.toStdString(), "compte", checkedAt));
}

QTEST_GUILESS_MAIN(TestRateLimiter)
#include "test_rate_limiter.moc"
