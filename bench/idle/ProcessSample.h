// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace Bench {

// What a process has cost so far, read from /proc: resident memory, CPU time, and context
// switches summed over its threads (each one a wake-up: the thread slept and was woken, or was
// made to give way).
struct ProcessSample {
    long residentKilobytes = 0;
    double cpuSeconds = 0;
    long long contextSwitches = 0;
    bool valid = false;

    // This process, threads that already ended and children it waited for included.
    static ProcessSample self();
    // Another process, by its live threads.
    static ProcessSample of(qint64 pid);
};

} // namespace Bench
