// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandFailure.h"
#include "Console.h"
#include "Invocation.h"

#include <QCoro/QCoroTask>

#include <memory>

// The commands of `nimbal`, one file each. Each gives its exit status or throws a
// CommandFailure; the command line prints the failure's message and exits with its status.
namespace OrvelanNimbal::CommandLine::Commands {

QCoro::Task<ExitStatus> status(Invocation invocation, std::shared_ptr<Console> console);
QCoro::Task<ExitStatus> signIn(Invocation invocation, std::shared_ptr<Console> console);
QCoro::Task<ExitStatus> signOut(Invocation invocation, std::shared_ptr<Console> console);
QCoro::Task<ExitStatus> pause(Invocation invocation, std::shared_ptr<Console> console);
QCoro::Task<ExitStatus> resume(Invocation invocation, std::shared_ptr<Console> console);
QCoro::Task<ExitStatus> wait(Invocation invocation, std::shared_ptr<Console> console);
QCoro::Task<ExitStatus> conflicts(Invocation invocation, std::shared_ptr<Console> console);
QCoro::Task<ExitStatus> fileStatus(Invocation invocation, std::shared_ptr<Console> console);
QCoro::Task<ExitStatus> log(Invocation invocation, std::shared_ptr<Console> console);

} // namespace OrvelanNimbal::CommandLine::Commands
