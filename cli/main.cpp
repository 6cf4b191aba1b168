// SPDX-License-Identifier: GPL-3.0-or-later
// nimbal: the drive from a terminal; see `nimbal --help` and nimbal(1).
#include "CommandLine.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nimbal"));
    // The library's log lines are for the programs that run all day; a command says what it has
    // to say itself. QT_LOGGING_RULES brings them back.
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("net.orvelan.nimbal.*=false"));
    OrvelanNimbal::CommandLine::Console console(stdout, stderr, stdin);
    int status = 0;
    QTimer::singleShot(0, &application, [&] {
        [](OrvelanNimbal::CommandLine::Console &console, int &status) -> QCoro::Task<> {
            status = co_await OrvelanNimbal::CommandLine::run(
                QCoreApplication::arguments().mid(1), console);
            QCoreApplication::exit(status);
        }(console, status);
    });
    QCoreApplication::exec();
    return status;
}
