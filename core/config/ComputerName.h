// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace OrvelanNimbal {

// The name the user gave this computer: the pretty host name of /etc/machine-info (the one
// the desktop's settings show and hostnamectl sets), else the host name; nothing when neither
// is set.
std::optional<QString>
computerName(const QString &machineInfoPath = QStringLiteral("/etc/machine-info"));

// PRETTY_HOSTNAME of a machine-info file's text (an environment-style file whose values may be
// quoted and escaped as in a shell); nothing when absent or blank.
std::optional<QString> prettyHostName(const QByteArray &machineInfo);

} // namespace OrvelanNimbal
