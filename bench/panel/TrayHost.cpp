// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrayHost.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

bool TrayHost::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                              QDBusConnection::ExportScriptableSlots
                                  | QDBusConnection::ExportAllProperties)
        && bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

void TrayHost::RegisterStatusNotifierItem(const QString &service)
{
    // An item names itself by its bus name, or by its path on the caller's connection.
    m_items.append(service.startsWith(u'/') ? message().service() + service : service);
    emit itemRegistered();
}

void TrayHost::RegisterStatusNotifierHost(const QString &) {}

bool TrayHost::click()
{
    if (m_items.isEmpty())
        return false;
    QString service = m_items.constLast();
    QString path = QStringLiteral("/StatusNotifierItem");
    if (const qsizetype slash = service.indexOf(u'/'); slash > 0) {
        path = service.mid(slash);
        service.truncate(slash);
    }
    QDBusMessage activate = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
    activate << 640 << 12;
    return QDBusConnection::sessionBus().send(activate);
}
