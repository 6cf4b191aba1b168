// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <exception>

class QDBusError;

namespace OrvelanNimbal {
class DriveError;
class KeychainError;
} // namespace OrvelanNimbal

namespace OrvelanNimbal::CommandLine {

// What `nimbal` answers to its caller, a script as much as a person.
enum class ExitStatus {
    done = 0,
    usage = 1,       // the command line is wrong
    notSignedIn = 2, // no session on this computer
    retryable = 3,   // failed, and another attempt may help (network, a wait that ran out)
    refused = 4,     // refused: a wrong password or code, a paused domain, a path it cannot judge
    unreachable = 5, // the session bus, the keychain or the extension cannot be reached
};

// Ends a command: its status, and the French sentence shown on standard error.
class CommandFailure : public std::exception {
public:
    CommandFailure(ExitStatus status, QString message);

    ExitStatus status() const { return m_status; }
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_what.constData(); }

    static CommandFailure usage(const QString &message) { return {ExitStatus::usage, message}; }
    static CommandFailure notSignedIn();
    // A failure of the drive service: retryable when the error says another attempt may help.
    static CommandFailure from(const DriveError &error);
    static CommandFailure from(const KeychainError &error);
    // A refusal of the extension (its named errors) or of the bus itself.
    static CommandFailure from(const QDBusError &error);

private:
    ExitStatus m_status;
    QString m_message;
    QByteArray m_what;
};

} // namespace OrvelanNimbal::CommandLine
