// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <QTextStream>

// nimbal-fileprovider's commands: `serve` (what the session bus starts), `status`, `enable`,
// `disable` (each with an optional account) and `--help`.
namespace OrvelanNimbal::FileProvider::CommandLine {

// Runs the command in `arguments` (the program's name excluded); gives the exit status.
int run(const QStringList &arguments, QTextStream &out, QTextStream &err);

// The line the application reads to tell whether the extension is on:
// "+    net.orvelan.nimbal.sync.fileprovider(0.1.0)", "-" first when it is off.
QString statusLine(bool enabled);

} // namespace OrvelanNimbal::FileProvider::CommandLine
