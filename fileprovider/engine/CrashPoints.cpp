// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CrashPoints.h"

#ifdef NIMBAL_CRASH_POINTS

#include <QHash>

#include <csignal>
#include <cstdlib>

namespace OrvelanNimbal::FileProvider::CrashPoints {

namespace {

struct State {
    QString armed;
    int hitsLeft = 0;
    bool killProcess = false;
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

void armFromEnvironment()
{
    const QString value = qEnvironmentVariable("NIMBAL_FILEPROVIDER_CRASH_POINT");
    if (value.isEmpty())
        return;
    const qsizetype colon = value.indexOf(u':');
    arm(colon < 0 ? value : value.first(colon), colon < 0 ? 1 : value.sliced(colon + 1).toInt());
    state().killProcess = true;
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
    if (current.killProcess)
        std::raise(SIGKILL);
    throw Killed{name};
}

} // namespace OrvelanNimbal::FileProvider::CrashPoints

#endif
