// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QObject>

namespace OrvelanNimbal {

// Tells when the machine wakes from sleep: the moment to look at the drive again, since the
// live connection may have missed changes while the machine slept.
class WakeNotifier : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void woke();
};

// The session's wake-ups as logind reports them on the system bus: its Manager's
// PrepareForSleep signal, false when the machine comes back. Without a system bus (a container,
// a test) there is simply no wake-up to report; that is not an error.
class LogindWakeNotifier final : public WakeNotifier {
    Q_OBJECT

public:
    explicit LogindWakeNotifier(QDBusConnection bus = QDBusConnection::systemBus(),
                                QObject *parent = nullptr);

    bool isListening() const { return m_listening; }

private slots:
    void prepareForSleep(bool goingToSleep);

private:
    bool m_listening = false;
};

} // namespace OrvelanNimbal
