// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbus/DBusDomainList.h"

#include <QDBusMetaType>

namespace OrvelanNimbal::FileProvider {

QDBusArgument &operator<<(QDBusArgument &argument, const DomainRecord &domain)
{
    argument.beginStructure();
    argument << domain.identifier << domain.displayName << domain.userEnabled;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DomainRecord &domain)
{
    argument.beginStructure();
    argument >> domain.identifier >> domain.displayName >> domain.userEnabled;
    argument.endStructure();
    return argument;
}

void registerDBusTypes()
{
    qDBusRegisterMetaType<DomainRecord>();
    qDBusRegisterMetaType<FileProviderDomainList>();
    qDBusRegisterMetaType<QList<QVariantMap>>(); // the conflicts
}

} // namespace OrvelanNimbal::FileProvider
