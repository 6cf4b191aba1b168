// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Named places between two effects of a step (a rename and the row that records it, a request
// answered and the journal), where a test kills the engine to check that the next start finds
// its way. Compiled only into builds made for the tests (NIMBAL_CRASH_POINTS, see
// fileprovider/CMakeLists.txt); elsewhere a crash point is nothing at all.

#ifdef NIMBAL_CRASH_POINTS

#include <QString>

namespace OrvelanNimbal::FileProvider::CrashPoints {

// What an armed point throws in a test: not a std::exception, so that nothing in the engine
// takes it for an item's failure; the pass ends as a killed process would, with nothing more
// written.
struct Killed {
    QString point;
};

// The `hit`-th time `point` is reached (from now), the engine is killed there.
void arm(const QString &point, int hit = 1);
void disarm();
// How many times `point` was reached since the last arm() or resetCounts(): a test learns from a
// clean run how many times each point is met, then kills at each of them.
int timesReached(const QString &point);
void resetCounts();

void reach(const char *point);

} // namespace OrvelanNimbal::FileProvider::CrashPoints

#define NIMBAL_CRASH_POINT(name) ::OrvelanNimbal::FileProvider::CrashPoints::reach(name)

#else

#define NIMBAL_CRASH_POINT(name) static_cast<void>(0)

#endif
