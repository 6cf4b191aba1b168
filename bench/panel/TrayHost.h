// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>

// A desktop's tray host as the application sees it on the session bus: the StatusNotifierWatcher
// that items register with. It notes when an item registers, and clicks on it as a tray would.
class TrayHost : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered CONSTANT)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion CONSTANT)
    // Read over D-Bus only; a change is told by the watcher's own registration signal.
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items) // clazy:exclude=qproperty-without-notify

public:
    // Takes the watcher's name on the session bus; false when another holds it.
    bool start();

    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return m_items; }
    void forget() { m_items.clear(); }

    // A left click on the registered item, at the top of the screen.
    bool click();

public slots:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString &service);
    Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString &service);

signals:
    void itemRegistered();

private:
    QStringList m_items;
};
