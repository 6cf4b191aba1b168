// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/ExtensionTool.h"

#include "async/Wakeup.h"
#include "config/OrvelanNimbal.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTimer>

namespace OrvelanNimbal {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimmedOfBlanks(QStringView line)
{
    while (!line.isEmpty() && isBlank(line.front()))
        line = line.mid(1);
    while (!line.isEmpty() && isBlank(line.back()))
        line.chop(1);
    return line;
}

} // namespace

ExtensionTool::ExtensionTool(QString program, std::chrono::milliseconds patience)
    : m_program(std::move(program))
    , m_patience(patience)
{}

QString ExtensionTool::installedProgram()
{
    const QString beside =
        QStandardPaths::findExecutable(programName, {QCoreApplication::applicationDirPath()});
    return beside.isEmpty() ? QStandardPaths::findExecutable(programName) : beside;
}

std::optional<bool> ExtensionTool::stateFromStatusOutput(const QByteArray &output,
                                                         const QString &identifier)
{
    // Invalid sequences become replacement characters; the line that matters is plain ASCII.
    const QString text = QStringDecoder(QStringDecoder::Utf8)(output);
    for (const QStringView line : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        if (!line.contains(identifier))
            continue;
        const QStringView mark = trimmedOfBlanks(line);
        return mark.isEmpty() || !mark.startsWith(u'-');
    }
    return std::nullopt;
}

QCoro::Task<ExtensionTool::Run> ExtensionTool::run(QStringList arguments,
                                                   CancellationToken cancel) const
{
    Run result;
    if (m_program.isEmpty()) {
        result.error = programName + QStringLiteral(" introuvable");
        co_return result;
    }
    Wakeup done;
    QProcess process;
    process.setProgram(m_program);
    process.setArguments(arguments);
    process.setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(&process, &QProcess::finished, [&done] { done.fire(); });
    QObject::connect(&process, &QProcess::errorOccurred, [&done](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done.fire();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&done] { done.fire(); });
    const auto onCancel = cancel.onCancel([&done] { done.fire(); });

    process.start();
    watchdog.start(m_patience);
    co_await done.wait();

    result.started = process.error() != QProcess::FailedToStart;
    result.finished = process.state() == QProcess::NotRunning && result.started;
    if (!result.finished && result.started) {
        // Cancelled or out of patience: the tool must not outlive the question.
        process.kill();
        process.waitForFinished(1000);
    }
    cancel.throwIfCancelled();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = process.readAllStandardOutput();
    if (!result.started)
        result.error = process.errorString();
    else if (!result.finished)
        result.error = programName + QStringLiteral(" ne répond pas");
    co_return result;
}

QCoro::Task<std::optional<bool>> ExtensionTool::extensionEnabled(CancellationToken cancel) const
{
    // Arguments named before the wait: GCC 12 cannot keep a braced list alive across co_await.
    QStringList arguments{QStringLiteral("status")};
    const Run result = co_await run(std::move(arguments), cancel);
    if (!result.finished)
        co_return std::nullopt;
    co_return stateFromStatusOutput(result.output, fileProviderBundleIdentifier);
}

QCoro::Task<std::optional<QString>> ExtensionTool::enable(CancellationToken cancel) const
{
    QStringList arguments{QStringLiteral("enable")};
    const Run result = co_await run(std::move(arguments), cancel);
    if (!result.finished)
        co_return result.error;
    if (result.exitCode != 0)
        co_return programName + QStringLiteral(" enable a échoué (code %1)").arg(result.exitCode);
    co_return std::nullopt;
}

} // namespace OrvelanNimbal
