// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "domains/FileProviderSystem.h"

#include <QDBusArgument>
#include <QList>

// A domain as the extension's bus interface carries it: the "(ssb)" of Domains() (identifier,
// display name, user-enabled).
namespace OrvelanNimbal {

QDBusArgument &operator<<(QDBusArgument &argument, const FileProviderDomain &domain);
const QDBusArgument &operator>>(const QDBusArgument &argument, FileProviderDomain &domain);

} // namespace OrvelanNimbal

// The name the interface description gives the list; the generated proxy uses it.
using FileProviderDomainList = QList<OrvelanNimbal::FileProviderDomain>;
