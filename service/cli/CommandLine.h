// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "http/HttpService.h"

#include <QStringList>

#include <cstdio>

namespace OrvelanNimbal::Service {

// Exit codes of the program.
enum ExitCode { exitSuccess = 0, exitFailure = 1, exitUsage = 2 };

// nimbal-service serve | add-account | publish-release | --help; returns the exit code. `serve`
// serves the routes of `routes`.
int runCommandLine(int argc, char **argv, RouteTable routes);

// What the program takes, as --help says it.
void printUsage(std::FILE *to);

// The sub-commands, given the arguments that follow their name.
int runServe(const QStringList &arguments, RouteTable routes);
int runAddAccount(const QStringList &arguments);

} // namespace OrvelanNimbal::Service
