// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/WakeNotifier.h"

namespace OrvelanNimbal {

LogindWakeNotifier::LogindWakeNotifier(QDBusConnection bus, QObject *parent)
    : WakeNotifier(parent)
{
    if (!bus.isConnected())
        return;
    m_listening = bus.connect(QStringLiteral("org.freedesktop.login1"),
                              QStringLiteral("/org/freedesktop/login1"),
                              QStringLiteral("org.freedesktop.login1.Manager"),
                              QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
}

void LogindWakeNotifier::prepareForSleep(bool goingToSleep)
{
    if (!goingToSleep)
        emit woke();
}

} // namespace OrvelanNimbal
