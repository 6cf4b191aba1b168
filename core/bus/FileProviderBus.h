// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sync/FileProviderDomain.h"

#include <QDBusArgument>
#include <QList>
#include <QString>

// The extension's bus interface as its users share it: the daemon that serves it, and the
// application and the command line that call it, each generating its side from the one
// description (fileprovider/dbus/net.orvelan.nimbal.FileProvider1.xml).
namespace OrvelanNimbal::FileProviderBus {

// The object, under the bus name fileProviderBundleIdentifier, and its interface.
inline const QString objectPath = QStringLiteral("/net/orvelan/nimbal/FileProvider1");
inline const QString interfaceName = QStringLiteral("net.orvelan.nimbal.FileProvider1");

// Makes the interface's own types known to Qt's D-Bus (the domain list "a(ssb)", the conflicts
// "aa{sv}"): before the first call, or before the object is registered. Again is harmless.
void registerTypes();

} // namespace OrvelanNimbal::FileProviderBus

namespace OrvelanNimbal {

// A domain on the bus: "(ssb)", identifier, display name, user-enabled.
QDBusArgument &operator<<(QDBusArgument &argument, const FileProviderDomain &domain);
const QDBusArgument &operator>>(const QDBusArgument &argument, FileProviderDomain &domain);

} // namespace OrvelanNimbal

// The name the interface description gives the list; the generated code uses it as it is.
using FileProviderDomainList = QList<OrvelanNimbal::FileProviderDomain>;
