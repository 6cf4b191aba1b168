// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CrashPoints.h"

#ifdef NIMBAL_CRASH_POINTS

#include <QHash>

namespace OrvelanNimbal::FileProvider::CrashPoints {

namespace {

struct State {
    QString armed;
    int hitsLeft = 0;
    QHash<QString, int> reached;
};

// Reached from the engine's thread only.
State &state()
{
    static State instance;
    return instance;
}

} // namespace

void arm(const QString &point, int hit)
{
    state().armed = point;
    state().hitsLeft = hit;
    state().reached.clear();
}

void disarm()
{
    state().armed.clear();
}

int timesReached(const QString &point)
{
    return state().reached.value(point);
}

void resetCounts()
{
    state().reached.clear();
}

void reach(const char *point)
{
    State &current = state();
    const QString name = QString::fromLatin1(point);
    ++current.reached[name];
    if (current.armed != name || --current.hitsLeft > 0)
        return;
    current.armed.clear();
    throw Killed{name};
}

} // namespace OrvelanNimbal::FileProvider::CrashPoints

#endif
