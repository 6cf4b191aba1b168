// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"

#include <QCoro/QCoroTask>
#include <QStringList>

#include <chrono>
#include <optional>

namespace OrvelanNimbal {

// The extension's own command line, `nimbal-fileprovider`: whether the user left the
// extension on, and the way to turn it back on. Each call runs the tool as a child process
// watched by the event loop, never blocking it, and gives up on a tool that hangs.
class ExtensionTool {
public:
    static inline const QString programName = QStringLiteral("nimbal-fileprovider");

    // `program`: the tool's path; empty when it is not installed.
    // A tool still running after `patience` (wall time: it is a real process) is stopped and
    // counts as no answer.
    explicit ExtensionTool(QString program,
                           std::chrono::milliseconds patience = std::chrono::seconds(10));

    // The installed tool: next to the application's executable, else on the PATH; empty when
    // there is none.
    static QString installedProgram();

    // From `status`: true on, false switched off by the user, nothing when it cannot tell
    // (no tool, no answer, no line about the extension).
    QCoro::Task<std::optional<bool>> extensionEnabled(CancellationToken cancel) const;
    // `enable`: turns the extension's service back on. What went wrong, or nothing.
    QCoro::Task<std::optional<QString>> enable(CancellationToken cancel) const;

    // The line rule of `status`, one line per extension ("+" or "-", spaces, identifier,
    // version in parentheses): the first line naming `identifier` decides; a leading "-" is
    // off, anything else on; no such line, unknown.
    static std::optional<bool> stateFromStatusOutput(const QByteArray &output,
                                                     const QString &identifier);

private:
    struct Run {
        bool started = false;
        bool finished = false; // exited by itself, in time
        int exitCode = -1;
        QByteArray output;
        QString error;
    };
    QCoro::Task<Run> run(QStringList arguments, CancellationToken cancel) const;

    QString m_program;
    std::chrono::milliseconds m_patience;
};

} // namespace OrvelanNimbal
