// SPDX-License-Identifier: GPL-3.0-or-later
// The extension's and the application's log lines: from the user's journal where systemd runs
// the extension as a unit, and from the files the programs keep when it does not.
#include "commands/Commands.h"
#include "config/LogFile.h"

#include <QCoro/QCoroProcess>
#include <QCoro/QCoroTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

namespace OrvelanNimbal::CommandLine::Commands {

namespace {

const QStringList programs{QStringLiteral("nimbal-fileprovider"), QStringLiteral("orvelan-nimbal")};
const QString extensionUnit = QStringLiteral("nimbal-fileprovider.service");
constexpr std::chrono::milliseconds followInterval(500);

QStringList journalArguments(bool follow)
{
    QStringList arguments{
        QStringLiteral("--user"),   QStringLiteral("--unit"),    extensionUnit,
        QStringLiteral("--output"), QStringLiteral("short-iso"), QStringLiteral("--no-pager"),
        QStringLiteral("--quiet")};
    if (follow)
        arguments.append(
            {QStringLiteral("--follow"), QStringLiteral("--lines"), QStringLiteral("0")});
    return arguments;
}

// The journal's lines of the extension's unit; none where there is no journal to ask.
QCoro::Task<QStringList> journalLines()
{
    const QString journalctl = QStandardPaths::findExecutable(QStringLiteral("journalctl"));
    if (journalctl.isEmpty())
        co_return {};
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(journalctl, journalArguments(false));
    co_await qCoro(process).waitForFinished(std::chrono::seconds(30));
    const QString text = QString::fromUtf8(process.readAllStandardOutput());
    co_return text.split(u'\n', Qt::SkipEmptyParts);
}

struct FollowedFile {
    QString path;
    qint64 offset = 0;
};

// Lines added to the file since `followed.offset`; a file set aside and begun again is read from
// its start.
QStringList newLines(FollowedFile &followed)
{
    QFile file(followed.path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (file.size() < followed.offset)
        followed.offset = 0;
    file.seek(followed.offset);
    const QByteArray added = file.readAll();
    const qsizetype complete = added.lastIndexOf('\n') + 1;
    followed.offset += complete;
    return QString::fromUtf8(added.first(complete)).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

QCoro::Task<ExitStatus> log(Invocation invocation, std::shared_ptr<Console> console)
{
    const bool follow =
        invocation.has(QStringLiteral("-f")) || invocation.has(QStringLiteral("--follow"));
    // Lines begin with their time in ISO form: in order once sorted as text.
    QStringList lines = co_await journalLines();
    std::vector<FollowedFile> files;
    for (const QString &program : programs) {
        const QString path = LogFile::fileFor(program);
        FollowedFile before{path + QStringLiteral(".1")};
        lines += newLines(before);
        files.push_back({path});
        lines += newLines(files.back());
    }
    std::stable_sort(lines.begin(), lines.end());
    for (const QString &line : std::as_const(lines))
        console->out() << LogFile::redacted(line) << '\n';
    console->out().flush();
    if (!follow)
        co_return ExitStatus::done;

    QProcess journal;
    const QString journalctl = QStandardPaths::findExecutable(QStringLiteral("journalctl"));
    if (!journalctl.isEmpty()) {
        journal.setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(
            &journal, &QProcess::readyReadStandardOutput, &journal, [&journal, console] {
                while (journal.canReadLine())
                    console->out() << LogFile::redacted(QString::fromUtf8(journal.readLine()));
                console->out().flush();
            });
        journal.start(journalctl, journalArguments(true));
    }
    // Until interrupted.
    for (;;) {
        QTimer tick;
        tick.setSingleShot(true);
        tick.start(followInterval);
        co_await tick;
        for (FollowedFile &file : files) {
            for (const QString &line : newLines(file))
                console->out() << LogFile::redacted(line) << '\n';
        }
        console->out().flush();
    }
}

} // namespace OrvelanNimbal::CommandLine::Commands
