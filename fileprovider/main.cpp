// SPDX-License-Identifier: GPL-3.0-or-later
// nimbal-fileprovider: keeps ~/Nimbal/<account> in step with the drive; see `--help`.
#include "cli/CommandLine.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("nimbal-fileprovider"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return OrvelanNimbal::FileProvider::CommandLine::run(QCoreApplication::arguments().mid(1), out,
                                                         err);
}
