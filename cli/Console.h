// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTextStream>

#include <cstdio>
#include <optional>

namespace OrvelanNimbal::CommandLine {

// Where a command writes and reads: data on standard output, messages on standard error, and
// what the user types, from the controlling terminal when there is one.
class Console {
public:
    Console(FILE *out, FILE *err, FILE *in);

    QTextStream &out() { return m_out; }
    // One message line on standard error.
    void say(const QString &message);

    // A line the user types at `prompt` on the terminal, not shown when `secret`; nothing when
    // there is no terminal or the input ends.
    std::optional<QString> askTerminal(const QString &prompt, bool secret);
    // The next line of standard input, without its line break; nothing at its end.
    std::optional<QString> readInputLine();
    bool hasTerminal() const;

private:
    QTextStream m_out;
    QTextStream m_err;
    FILE *m_in;
};

} // namespace OrvelanNimbal::CommandLine
