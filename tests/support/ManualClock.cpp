// SPDX-License-Identifier: GPL-3.0-or-later
#include "ManualClock.h"

#include "async/Wakeup.h"

#include <QTimeZone>

namespace OrvelanNimbal::Testing {

struct ManualClock::Sleeper {
    std::chrono::nanoseconds deadline;
    OrvelanNimbal::Wakeup wakeup;
};

ManualClock::ManualClock(bool automatic)
    : m_automatic(automatic)
    , m_start(QDate(2024, 3, 5), QTime(14, 7), QTimeZone::utc())
{}

ManualClock::~ManualClock() = default;

QDateTime ManualClock::currentDateTime() const
{
    return m_start.addMSecs(
        std::chrono::duration_cast<std::chrono::milliseconds>(m_now - std::chrono::hours(1))
            .count());
}

QCoro::Task<> ManualClock::sleep(std::chrono::milliseconds delay, CancellationToken cancel)
{
    cancel.throwIfCancelled();
    m_sleeps.append(delay);
    Sleeper sleeper{m_now + delay, {}};
    const auto onCancel = cancel.onCancel([&sleeper] { sleeper.wakeup.fire(); });
    if (m_automatic) {
        m_now = std::max(m_now, sleeper.deadline);
        sleeper.wakeup.fire();
    } else {
        m_waiting.push_back(&sleeper);
    }
    co_await sleeper.wakeup.wait();
    m_waiting.remove(&sleeper);
    cancel.throwIfCancelled();
}

void ManualClock::advance(std::chrono::milliseconds by)
{
    m_now += by;
    for (Sleeper *sleeper : m_waiting) {
        if (sleeper->deadline <= m_now)
            sleeper->wakeup.fire();
    }
}

} // namespace OrvelanNimbal::Testing
