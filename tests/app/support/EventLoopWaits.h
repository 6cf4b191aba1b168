// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <chrono>
#include <stdexcept>

namespace OrvelanNimbal::Testing {

// Turns the event loop until `done` holds, a millisecond at a time. Throws when it does not
// within the ceiling: the test function ends there (QtTest reports the exception), also when
// this is called from a helper.
template <class Predicate>
void waitUntil(Predicate done, std::chrono::milliseconds ceiling = std::chrono::seconds(5))
{
    const QDeadlineTimer deadline(ceiling);
    while (!done()) {
        if (deadline.hasExpired())
            throw std::runtime_error("the awaited state did not come in time");
        QTest::qWait(1);
    }
}

// Lets everything already under way on this thread finish: the doubles answer through posted
// events, never timers, so a few turns of the loop are enough.
inline void settle()
{
    for (int turn = 0; turn < 10; ++turn)
        QCoreApplication::processEvents();
}

} // namespace OrvelanNimbal::Testing
