// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "daemon/DomainRegistry.h"

#include <QDBusArgument>
#include <QList>

// A domain on the bus: (identifier, display name, user-enabled), the "(ssb)" of Domains().
namespace OrvelanNimbal::FileProvider {

QDBusArgument &operator<<(QDBusArgument &argument, const DomainRecord &domain);
const QDBusArgument &operator>>(const QDBusArgument &argument, DomainRecord &domain);
void registerDBusTypes();

} // namespace OrvelanNimbal::FileProvider

// The name the interface description gives the list; the generated adaptor uses it.
using FileProviderDomainList = QList<OrvelanNimbal::FileProvider::DomainRecord>;
