// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace OrvelanNimbal::Service {

// Exit codes of the program.
enum ExitCode { exitSuccess = 0, exitFailure = 1, exitUsage = 2 };

// nimbal-service serve | add-account | --help; returns the exit code.
int runCommandLine(int argc, char **argv);

// The sub-commands, given the arguments that follow their name.
int runServe(const QStringList &arguments);
int runAddAccount(const QStringList &arguments);

} // namespace OrvelanNimbal::Service
