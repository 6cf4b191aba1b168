// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace OrvelanNimbal::CommandLine {

// One command as typed: its name, the flags given, the options with their values, and the
// other arguments in order.
struct Invocation {
    QString command;
    QSet<QString> flags;            // "--json", "-f"
    QHash<QString, QString> values; // "--timeout" → "30"
    QStringList arguments;

    bool has(const QString &flag) const { return flags.contains(flag); }
};

} // namespace OrvelanNimbal::CommandLine
