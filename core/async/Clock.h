// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"

#include <QCoro/QCoroTask>
#include <QDateTime>

#include <chrono>
#include <memory>

namespace OrvelanNimbal {

// Where the library reads time and waits. Tests replace it, so that a back-off of a minute
// takes no time at all.
class Clock {
public:
    virtual ~Clock() = default;

    // A reading of a clock that keeps counting while the machine sleeps. Only differences
    // between two readings mean something.
    virtual std::chrono::nanoseconds continuousNow() const = 0;

    // Calendar time, for dates that the user or the service sees.
    virtual QDateTime currentDateTime() const = 0;

    // Completes once `delay` has passed on the continuous clock. Throws OperationCancelled as
    // soon as `cancel` fires, and at once when it already has.
    virtual QCoro::Task<> sleep(std::chrono::milliseconds delay, CancellationToken cancel) = 0;
};

// The real clock of the process: timers on the boot-time clock, so a wait that spans a suspend
// of the machine ends when its time is really up.
std::shared_ptr<Clock> systemClock();

} // namespace OrvelanNimbal
