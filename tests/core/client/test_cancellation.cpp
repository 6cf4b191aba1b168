// SPDX-License-Identifier: GPL-3.0-or-later
// Cancellation, the clock's waits, and the wake-up primitive every wait is built on.
#include "AsyncTest.h"

#include "client/Cancellation.h"
#include "client/Clock.h"
#include "client/Wakeup.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

class TestCancellation : public QObject {
    Q_OBJECT

private slots:
    void callbacksRunOnceOnCancel();
    void registrationEndsWithItsScope();
    void childrenFollowTheirParent();
    void cancelFromAnotherThread();
    void endingARegistrationWaitsForItsRunningCallback();
    void systemClockSleeps();
    void systemClockSleepEndsEarlyWhenCancelled();
    void wakeupDeliveredBeforeWaiting();
};

void TestCancellation::callbacksRunOnceOnCancel()
{
    CancellationSource source;
    const CancellationToken token = source.token();
    int calls = 0;
    const auto registration = token.onCancel([&] { ++calls; });
    QVERIFY(!token.isCancelled());
    source.cancel();
    source.cancel();
    QCOMPARE(calls, 1);
    QVERIFY(token.isCancelled());
    QVERIFY_THROWS_EXCEPTION(OperationCancelled, token.throwIfCancelled());

    // Registering on a cancelled token calls back at once.
    const auto late = token.onCancel([&] { ++calls; });
    QCOMPARE(calls, 2);

    // A default token never fires.
    const CancellationToken never;
    const auto none = never.onCancel([&] { ++calls; });
    QVERIFY(!never.isCancelled());
    QCOMPARE(calls, 2);
}

void TestCancellation::registrationEndsWithItsScope()
{
    CancellationSource source;
    int calls = 0;
    {
        const auto registration = source.token().onCancel([&] { ++calls; });
    }
    auto moved = source.token().onCancel([&] { ++calls; });
    CancellationRegistration kept = std::move(moved);
    kept.reset();
    source.cancel();
    QCOMPARE(calls, 0);
}

void TestCancellation::childrenFollowTheirParent()
{
    CancellationSource parent;
    CancellationSource child(parent.token());
    CancellationSource grandchild(child.token());
    child.cancel();
    QVERIFY(!parent.isCancelled());
    QVERIFY(grandchild.isCancelled());

    CancellationSource other(parent.token());
    parent.cancel();
    QVERIFY(other.isCancelled());
}

void TestCancellation::cancelFromAnotherThread()
{
    CancellationSource source;
    auto wait = [](CancellationToken token) -> QCoro::Task<> {
        co_await systemClock()->sleep(10s, token);
    };
    auto running = wait(source.token());
    std::unique_ptr<QThread> canceller(QThread::create([&] { source.cancel(); }));
    canceller->start();
    QVERIFY_THROWS_EXCEPTION(OperationCancelled, runAsync(std::move(running)));
    canceller->wait();
}

void TestCancellation::endingARegistrationWaitsForItsRunningCallback()
{
    CancellationSource source;
    std::atomic<bool> entered = false;
    std::atomic<bool> finished = false;
    auto registration = source.token().onCancel([&] {
        entered = true;
        QThread::msleep(50);
        finished = true;
    });
    std::unique_ptr<QThread> canceller(QThread::create([&] { source.cancel(); }));
    canceller->start();
    while (!entered)
        QThread::yieldCurrentThread();
    registration.reset(); // must not return while the callback still runs
    QVERIFY(finished);
    canceller->wait();
}

void TestCancellation::systemClockSleeps()
{
    const auto clock = systemClock();
    const auto before = clock->continuousNow();
    QElapsedTimer elapsed;
    elapsed.start();
    runAsync(clock->sleep(20ms, {}));
    QVERIFY(elapsed.elapsed() >= 19);
    QVERIFY(clock->continuousNow() - before >= 19ms);
    runAsync(clock->sleep(0ms, {})); // nothing to wait for
}

void TestCancellation::systemClockSleepEndsEarlyWhenCancelled()
{
    CancellationSource source;
    auto running = systemClock()->sleep(10s, source.token());
    QTimer::singleShot(5, [&] { source.cancel(); });
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY_THROWS_EXCEPTION(OperationCancelled, runAsync(std::move(running)));
    QVERIFY(elapsed.elapsed() < 2000);

    // Already cancelled: fails before waiting at all.
    QVERIFY_THROWS_EXCEPTION(OperationCancelled, runAsync(systemClock()->sleep(10s, source.token())));
}

void TestCancellation::wakeupDeliveredBeforeWaiting()
{
    auto waitLater = []() -> QCoro::Task<int> {
        Wakeup wakeup;
        wakeup.fire();
        wakeup.fire();
        co_await systemClock()->sleep(5ms, {}); // the delivery happens during this wait
        co_await wakeup.wait();
        co_return 1;
    };
    QCOMPARE(runAsync(waitLater()), 1);
}

QTEST_GUILESS_MAIN(TestCancellation)
#include "test_cancellation.moc"
