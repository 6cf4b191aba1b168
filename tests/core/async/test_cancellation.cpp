// SPDX-License-Identifier: GPL-3.0-or-later
// Cancellation, the clock's waits, and the wake-up primitive every wait is built on.
#include "AsyncTest.h"
#include "async/Cancellation.h"
#include "async/Clock.h"
#include "async/Wakeup.h"

#include <QTest>
#include <QThread>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

class TestCancellation : public QObject {
    Q_OBJECT

private slots:
    void callbacks();
    void childrenFollowTheirParent();
    void cancelFromAnotherThread();
    void endingARegistrationWaitsForItsRunningCallback();
    void systemClockAndWakeup();
};

void TestCancellation::callbacks()
{
    CancellationSource source;
    const CancellationToken token = source.token();
    int calls = 0;
    const auto registration = token.onCancel([&] { ++calls; });
    {
        const auto ended = token.onCancel([&] { calls += 100; });
    }
    std::optional<CancellationRegistration> kept;
    {
        auto moved = token.onCancel([&] { calls += 10; });
        kept.emplace(std::move(moved)); // its end must not end the registration it handed over
    }
    const auto never = CancellationToken().onCancel([&] { calls += 100; });

    QVERIFY(!token.isCancelled());
    source.cancel();
    source.cancel();
    QCOMPARE(calls, 11); // once each, and only for the registrations still alive
    QVERIFY_THROWS_EXCEPTION(OperationCancelled, token.throwIfCancelled());
    const auto late = token.onCancel([&] { ++calls; }); // already cancelled: at once
    QCOMPARE(calls, 12);
}

void TestCancellation::childrenFollowTheirParent()
{
    CancellationSource parent;
    CancellationSource child(parent.token());
    CancellationSource grandchild(child.token());
    CancellationSource sibling(parent.token());
    child.cancel();
    QVERIFY(grandchild.isCancelled());
    QVERIFY(!parent.isCancelled() && !sibling.isCancelled());
    parent.cancel();
    QVERIFY(sibling.isCancelled());
}

void TestCancellation::cancelFromAnotherThread()
{
    // A long sleep of the real clock, cut short by a cancel from another thread.
    CancellationSource source;
    auto running = systemClock()->sleep(10s, source.token());
    std::unique_ptr<QThread> canceller(QThread::create([&] { source.cancel(); }));
    canceller->start();
    QVERIFY_THROWS_EXCEPTION(OperationCancelled, runAsync(std::move(running)));
    canceller->wait();
    // Already cancelled: fails before waiting at all.
    QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                             runAsync(systemClock()->sleep(10s, source.token())));
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

void TestCancellation::systemClockAndWakeup()
{
    // A wake-up fired twice before anyone waits is delivered once, during a real sleep.
    auto waitLater = []() -> QCoro::Task<std::chrono::nanoseconds> {
        const auto clock = systemClock();
        const auto before = clock->continuousNow();
        Wakeup wakeup;
        wakeup.fire();
        wakeup.fire();
        co_await clock->sleep(20ms, {});
        co_await clock->sleep(0ms, {}); // nothing to wait for
        co_await wakeup.wait();
        co_return clock->continuousNow() - before;
    };
    QVERIFY(runAsync(waitLater()) >= 19ms);
}

QTEST_GUILESS_MAIN(TestCancellation)
#include "test_cancellation.moc"
