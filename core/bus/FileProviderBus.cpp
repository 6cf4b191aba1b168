// SPDX-License-Identifier: GPL-3.0-or-later
#include "bus/FileProviderBus.h"

#include <QDBusMetaType>
#include <QVariantMap>

namespace OrvelanNimbal {

QDBusArgument &operator<<(QDBusArgument &argument, const FileProviderDomain &domain)
{
    argument.beginStructure();
    argument << domain.identifier << domain.displayName << domain.userEnabled;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, FileProviderDomain &domain)
{
    argument.beginStructure();
    argument >> domain.identifier >> domain.displayName >> domain.userEnabled;
    argument.endStructure();
    return argument;
}

void FileProviderBus::registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<FileProviderDomain>();
        qDBusRegisterMetaType<FileProviderDomainList>();
        qDBusRegisterMetaType<QList<QVariantMap>>();
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace OrvelanNimbal
