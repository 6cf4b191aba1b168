// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QObject>

namespace OrvelanNimbal::Panel {

// One application per user session: the first to claim the panel's name on the session bus is
// the one; a later launch asks it to show its panel and leaves. Without a session bus each
// launch runs on its own (and says so in the log).
class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "net.orvelan.nimbal.Panel1")

public:
    static inline const QString serviceName = QStringLiteral("net.orvelan.nimbal.Panel");
    static inline const QString objectPath = QStringLiteral("/net/orvelan/nimbal/Panel");

    using QObject::QObject;

    // True when this process is the one instance (or no bus can tell); false when another
    // already runs.
    bool claim(QDBusConnection bus = QDBusConnection::sessionBus());
    // Asks the running instance to show its panel; false when it did not answer.
    static bool raiseRunning(QDBusConnection bus = QDBusConnection::sessionBus());

public slots:
    // Called over the bus by a later launch.
    Q_SCRIPTABLE void Raise();

signals:
    void raiseRequested();
};

} // namespace OrvelanNimbal::Panel
