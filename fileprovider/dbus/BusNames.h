// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the extension lives on the session bus. The bus name is the extension's identifier.
namespace OrvelanNimbal::FileProvider::BusNames {

inline const QString objectPath = QStringLiteral("/net/orvelan/nimbal/FileProvider1");
inline const QString interfaceName = QStringLiteral("net.orvelan.nimbal.FileProvider1");

} // namespace OrvelanNimbal::FileProvider::BusNames
