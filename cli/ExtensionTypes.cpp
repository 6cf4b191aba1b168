// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExtensionTypes.h"

#include <QDBusMetaType>
#include <QVariantMap>

namespace OrvelanNimbal::CommandLine {

QDBusArgument &operator<<(QDBusArgument &argument, const ExtensionDomain &domain)
{
    argument.beginStructure();
    argument << domain.identifier << domain.displayName << domain.userEnabled;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ExtensionDomain &domain)
{
    argument.beginStructure();
    argument >> domain.identifier >> domain.displayName >> domain.userEnabled;
    argument.endStructure();
    return argument;
}

void registerExtensionTypes()
{
    qDBusRegisterMetaType<ExtensionDomain>();
    qDBusRegisterMetaType<FileProviderDomainList>();
    qDBusRegisterMetaType<QList<QVariantMap>>();
}

} // namespace OrvelanNimbal::CommandLine
