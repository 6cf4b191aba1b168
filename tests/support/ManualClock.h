// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Clock.h"

#include <QList>

#include <list>

namespace OrvelanNimbal::Testing {

// A clock whose time only moves when the test says so. In automatic mode (the default) every
// sleep moves the clock forward by its own delay and completes on the next turn of the event
// loop; otherwise sleeps wait for advance(). Every requested delay is recorded, so a test reads
// the back-off a piece of code asked for without waiting for it.
class ManualClock final : public Clock {
public:
    explicit ManualClock(bool automatic = true);
    ~ManualClock() override;

    std::chrono::nanoseconds continuousNow() const override { return m_now; }
    QDateTime currentDateTime() const override;
    QCoro::Task<> sleep(std::chrono::milliseconds delay, CancellationToken cancel) override;

    void setAutomatic(bool automatic) { m_automatic = automatic; }
    void advance(std::chrono::milliseconds by);
    const QList<std::chrono::milliseconds> &sleeps() const { return m_sleeps; }
    int waitingSleeps() const { return int(m_waiting.size()); }
    void setCurrentDateTime(const QDateTime &start) { m_start = start; }

private:
    struct Sleeper;

    bool m_automatic;
    std::chrono::nanoseconds m_now{std::chrono::hours(1)};
    QDateTime m_start;
    QList<std::chrono::milliseconds> m_sleeps;
    std::list<Sleeper *> m_waiting;
};

} // namespace OrvelanNimbal::Testing
