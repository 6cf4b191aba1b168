// SPDX-License-Identifier: GPL-3.0-or-later
#include "NimbalProgram.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace OrvelanNimbal::Testing {

NimbalProgram::Result NimbalProgram::run(const QStringList &arguments, const QByteArray &input,
                                         int ceilingMilliseconds) const
{
    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.start(QStringLiteral(NIMBAL_PROGRAM), arguments);
    process.write(input);
    process.closeWriteChannel();
    Result result;
    if (!process.waitForFinished(ceilingMilliseconds)) {
        process.kill();
        process.waitForFinished();
        result.err = QStringLiteral("(arrêté après %1 ms) ").arg(ceilingMilliseconds);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.status = process.exitCode();
    }
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err += QString::fromUtf8(process.readAllStandardError());
    return result;
}

TerminalSession::TerminalSession(const QStringList &arguments,
                                 const QProcessEnvironment &environment)
{
    // Everything the child needs is made before the fork: after it, only exec.
    std::vector<QByteArray> storage{QByteArrayLiteral(NIMBAL_PROGRAM)};
    for (const QString &argument : arguments)
        storage.push_back(argument.toUtf8());
    const qsizetype argumentCount = qsizetype(storage.size());
    for (const QString &variable : environment.toStringList())
        storage.push_back(variable.toUtf8());
    std::vector<char *> argv;
    std::vector<char *> envp;
    for (qsizetype i = 0; i < qsizetype(storage.size()); ++i)
        (i < argumentCount ? argv : envp).push_back(storage[size_t(i)].data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    m_child = ::forkpty(&m_terminal, nullptr, nullptr, nullptr);
    if (m_child == 0) {
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
}

TerminalSession::~TerminalSession()
{
    if (m_child > 0 && ::waitpid(m_child, nullptr, WNOHANG) == 0) {
        ::kill(m_child, SIGKILL);
        ::waitpid(m_child, nullptr, 0);
    }
    if (m_terminal >= 0)
        ::close(m_terminal);
}

void TerminalSession::readAvailable(int waitMilliseconds)
{
    pollfd ready{m_terminal, POLLIN, 0};
    if (::poll(&ready, 1, waitMilliseconds) <= 0)
        return;
    char buffer[4096];
    const ssize_t got = ::read(m_terminal, buffer, sizeof buffer);
    if (got > 0)
        m_screen.append(buffer, got);
}

bool TerminalSession::waitFor(const QString &text, int ceilingMilliseconds)
{
    const QByteArray wanted = text.toUtf8();
    const QDeadlineTimer deadline(ceilingMilliseconds);
    while (!m_screen.contains(wanted)) {
        if (deadline.hasExpired() || m_terminal < 0)
            return false;
        readAvailable(50);
    }
    return true;
}

void TerminalSession::type(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    [[maybe_unused]] const ssize_t written = ::write(m_terminal, bytes.constData(), bytes.size());
}

int TerminalSession::finish(int ceilingMilliseconds)
{
    const QDeadlineTimer deadline(ceilingMilliseconds);
    while (!deadline.hasExpired()) {
        readAvailable(50);
        int status = 0;
        if (::waitpid(m_child, &status, WNOHANG) == m_child) {
            readAvailable(0);
            m_child = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
    }
    return -1;
}

} // namespace OrvelanNimbal::Testing
