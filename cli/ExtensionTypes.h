// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusArgument>
#include <QList>
#include <QString>

// A domain as the extension's bus interface carries it: the "(ssb)" of Domains() (identifier,
// display name, user-enabled).
namespace OrvelanNimbal::CommandLine {

struct ExtensionDomain {
    QString identifier;
    QString displayName;
    bool userEnabled = true;
};

QDBusArgument &operator<<(QDBusArgument &argument, const ExtensionDomain &domain);
const QDBusArgument &operator>>(const QDBusArgument &argument, ExtensionDomain &domain);
void registerExtensionTypes();

} // namespace OrvelanNimbal::CommandLine

// The name the interface description gives the list; the generated proxy uses it.
using FileProviderDomainList = QList<OrvelanNimbal::CommandLine::ExtensionDomain>;
