// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandFailure.h"
#include "Console.h"
#include "Invocation.h"

#include <QCoro/QCoroTask>
#include <QStringList>

#include <memory>

namespace OrvelanNimbal::CommandLine {

// The command line of `nimbal`: a command, its options, its arguments. A missing or unknown
// command, an unknown option or a wrong number of arguments is a usage failure. "--help" after a
// command (or `nimbal help COMMAND`) asks for that command's help; alone, for the list.
Invocation parse(const QStringList &arguments);

// The help of one command, or of the program when `command` is empty.
QString help(const QString &command);

// Parses and runs; gives the exit status. Failures are said on standard error.
QCoro::Task<int> run(QStringList arguments, std::shared_ptr<Console> console);

} // namespace OrvelanNimbal::CommandLine
