// SPDX-License-Identifier: GPL-3.0-or-later
#include "Console.h"

#include <QByteArray>

#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace OrvelanNimbal::CommandLine {

namespace {

// A line from a descriptor, byte by byte: nothing is read beyond it, so that what follows stays
// for the next reader.
std::optional<QByteArray> readLine(int descriptor)
{
    QByteArray line;
    char c = 0;
    for (;;) {
        const ssize_t got = ::read(descriptor, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return line.isEmpty() ? std::nullopt : std::optional(line);
        if (c == '\n')
            return line;
        line.append(c);
    }
}

QString withoutCarriageReturn(const QByteArray &line)
{
    return QString::fromUtf8(line.endsWith('\r') ? line.chopped(1) : line);
}

} // namespace

Console::Console(FILE *out, FILE *err, FILE *in)
    : m_out(out)
    , m_err(err)
    , m_in(in)
{}

void Console::say(const QString &message)
{
    m_err << message << '\n';
    m_err.flush();
}

bool Console::hasTerminal() const
{
    const int terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0)
        return false;
    ::close(terminal);
    return true;
}

std::optional<QString> Console::askTerminal(const QString &prompt, bool secret)
{
    const int terminal = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0)
        return std::nullopt;
    // Echo goes off before the prompt shows and input already typed is kept: whoever types
    // ahead of the prompt loses nothing and shows nothing.
    termios before{};
    const bool hidden = secret && ::tcgetattr(terminal, &before) == 0;
    if (hidden) {
        termios quiet = before;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(terminal, TCSANOW, &quiet);
    }
    const QByteArray shown = prompt.toUtf8();
    [[maybe_unused]] const ssize_t written = ::write(terminal, shown.constData(), shown.size());
    const std::optional<QByteArray> line = readLine(terminal);
    if (hidden)
        ::tcsetattr(terminal, TCSANOW, &before);
    ::close(terminal);
    if (!line)
        return std::nullopt;
    return withoutCarriageReturn(*line);
}

std::optional<QString> Console::readInputLine()
{
    m_out.flush();
    const std::optional<QByteArray> line = readLine(::fileno(m_in));
    if (!line)
        return std::nullopt;
    return withoutCarriageReturn(*line);
}

} // namespace OrvelanNimbal::CommandLine
