// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/OptionParsing.h"

#include "cli/CommandLine.h"

#include <cstdio>

namespace OrvelanNimbal::Service {

namespace {

void complain(const QString &text)
{
    std::fprintf(stderr, "nimbal-service: %s (voir nimbal-service --help)\n",
                 text.toLocal8Bit().constData());
}

} // namespace

std::optional<int> parseOptions(QCommandLineParser &parser, const QStringList &arguments,
                                const QStringList &required)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringLiteral("help"));
    parser.addOption(help);
    // The parser expects the program name first.
    if (!parser.parse(QStringList{QStringLiteral("nimbal-service")} + arguments)) {
        complain(parser.errorText());
        return exitUsage;
    }
    if (parser.isSet(help)) {
        printUsage(stdout);
        return exitSuccess;
    }
    if (!parser.positionalArguments().isEmpty()) {
        const QStringList extra = parser.positionalArguments();
        complain(QStringLiteral("argument inattendu « %1 »").arg(extra.constFirst()));
        return exitUsage;
    }
    for (const QString &name : required) {
        if (!parser.isSet(name)) {
            complain(QStringLiteral("--%1 est requis").arg(name));
            return exitUsage;
        }
    }
    return std::nullopt;
}

std::optional<long long> integerOption(const QCommandLineParser &parser, const QString &name,
                                       long long fallback, long long minimum, long long maximum)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const long long value = parser.value(name).toLongLong(&ok);
    if (!ok || value < minimum || value > maximum) {
        complain(QStringLiteral("--%1 attend un nombre entier de %2 à %3")
                     .arg(name)
                     .arg(minimum)
                     .arg(maximum));
        return std::nullopt;
    }
    return value;
}

} // namespace OrvelanNimbal::Service
