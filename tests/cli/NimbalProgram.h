// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace OrvelanNimbal::Testing {

// The `nimbal` program of this build, run as a user would in a given environment.
class NimbalProgram {
public:
    struct Result {
        int status = -1;
        QString out;
        QString err;
    };

    explicit NimbalProgram(const QProcessEnvironment &environment)
        : m_environment(environment)
    {}

    QProcessEnvironment &environment() { return m_environment; }
    // Without a terminal: `input` on standard input, then its end.
    Result run(const QStringList &arguments, const QByteArray &input = {},
               int ceilingMilliseconds = 120000) const;

private:
    QProcessEnvironment m_environment;
};

// `nimbal` on a pseudo-terminal of its own, which is its controlling terminal: what a person at
// a terminal sees and types. Standard output and error go to the terminal too.
class TerminalSession {
public:
    TerminalSession(const QStringList &arguments, const QProcessEnvironment &environment);
    ~TerminalSession();
    TerminalSession(const TerminalSession &) = delete;
    TerminalSession &operator=(const TerminalSession &) = delete;

    // Reads the screen until it shows `text`; false after the ceiling.
    bool waitFor(const QString &text, int ceilingMilliseconds = 30000);
    // Types a line, as a person would, Return included.
    void type(const QString &line);
    // Waits for the program to end; its exit status, or -1 after the ceiling.
    int finish(int ceilingMilliseconds = 60000);
    // Everything the terminal showed so far.
    QString screen() const { return QString::fromUtf8(m_screen); }

private:
    void readAvailable(int waitMilliseconds);

    int m_terminal = -1;
    pid_t m_child = -1;
    QByteArray m_screen;
};

} // namespace OrvelanNimbal::Testing
