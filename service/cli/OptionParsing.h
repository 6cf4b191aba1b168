// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCommandLineParser>

#include <optional>

namespace OrvelanNimbal::Service {

// Parses a sub-command's arguments. Gives nothing when the command may go on; otherwise the
// exit code to end with: a usage error, said on stderr, or "--help", answered on stdout.
std::optional<int> parseOptions(QCommandLineParser &parser, const QStringList &arguments,
                                const QStringList &required);

// A whole number option within [minimum, maximum]; nothing, with a message, otherwise.
std::optional<long long> integerOption(const QCommandLineParser &parser, const QString &name,
                                       long long fallback, long long minimum, long long maximum);

} // namespace OrvelanNimbal::Service
