// SPDX-License-Identifier: GPL-3.0-or-later
// nimbal: the drive from a terminal; see `nimbal --help` and nimbal(1).
#include "CommandLine.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>

#include <cstdio>

namespace {

QCoro::Task<> runThenQuit(QStringList arguments,
                          std::shared_ptr<OrvelanNimbal::CommandLine::Console> console)
{
    const int status = co_await OrvelanNimbal::CommandLine::run(std::move(arguments), console);
    QCoreApplication::exit(status);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nimbal"));
    // The library's log lines are for the programs that run all day; a command says what it has
    // to say itself. QT_LOGGING_RULES brings them back.
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("net.orvelan.nimbal.*=false"));
    auto console = std::make_shared<OrvelanNimbal::CommandLine::Console>(stdout, stderr, stdin);
    QTimer::singleShot(0, &application,
                       [console] { runThenQuit(QCoreApplication::arguments().mid(1), console); });
    return QCoreApplication::exec();
}
