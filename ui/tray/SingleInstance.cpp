// SPDX-License-Identifier: GPL-3.0-or-later
#include "SingleInstance.h"

#include "PanelLog.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace OrvelanNimbal::Panel {

bool SingleInstance::claim(QDBusConnection bus)
{
    if (!bus.isConnected()) {
        qCInfo(panelLog) << "Pas de bus de session : aucune garde contre un second lancement.";
        return true;
    }
    // The object goes up first, so that a launch racing this one and losing finds it at once.
    bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
    const auto reply = bus.interface()->registerService(
        serviceName, QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return true;
    bus.unregisterObject(objectPath);
    return false;
}

bool SingleInstance::raiseRunning(QDBusConnection bus)
{
    const QDBusMessage call = QDBusMessage::createMethodCall(
        serviceName, objectPath, QStringLiteral("net.orvelan.nimbal.Panel1"),
        QStringLiteral("Raise"));
    const QDBusMessage reply = bus.call(call, QDBus::BlockWithGui, 5000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

void SingleInstance::Raise()
{
    emit raiseRequested();
}

} // namespace OrvelanNimbal::Panel
