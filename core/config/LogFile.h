// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the programs' log lines go when no journal takes them. Under a systemd user unit standard
// error is the journal already; a program started otherwise (by the bus, by an autostart entry)
// has nobody reading its standard error, so it also appends its lines to a file of its own, which
// `nimbal log` reads.
namespace OrvelanNimbal::LogFile {

// $XDG_STATE_HOME/net.orvelan.nimbal (~/.local/state/net.orvelan.nimbal).
QString folder();
// The file of `program` in folder(); the one before it once it grew too large ends in ".1".
QString fileFor(const QString &program);

// Unless standard error is the journal, copies every log line of this process to
// fileFor(program), one line each: "<local ISO time> <program> <level> <category>: <message>".
// Lines still go to standard error as before.
void keepFor(const QString &program);

// A line with what looks like a secret masked: a bearer token, and the values of token,
// password, code and signature fields. Our programs never write these; this is for lines that
// come from elsewhere.
QString redacted(const QString &line);

} // namespace OrvelanNimbal::LogFile
