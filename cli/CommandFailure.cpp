// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandFailure.h"

#include "auth/KeychainError.h"
#include "errors/DriveError.h"

#include <QDBusError>

namespace OrvelanNimbal::CommandLine {

namespace {

const QString extensionErrorPrefix = QStringLiteral("net.orvelan.nimbal.FileProvider1.Error.");

} // namespace

CommandFailure::CommandFailure(ExitStatus status, QString message)
    : m_status(status)
    , m_message(std::move(message))
    , m_what(m_message.toUtf8())
{}

CommandFailure CommandFailure::notSignedIn()
{
    return {ExitStatus::notSignedIn,
            QStringLiteral("Non connecté : connectez-vous avec « nimbal signin ADRESSE ».")};
}

CommandFailure CommandFailure::from(const DriveError &error)
{
    if (error.kind() == DriveError::Kind::notAuthenticated)
        return {ExitStatus::refused, error.errorDescription()};
    return {error.isRetryable() ? ExitStatus::retryable : ExitStatus::refused,
            error.errorDescription()};
}

CommandFailure CommandFailure::from(const KeychainError &error)
{
    return {ExitStatus::unreachable,
            error.errorDescription()
                + QStringLiteral(" — le trousseau du bureau (Secret Service) ne répond pas : "
                                 "ouvrez une session de bureau ou démarrez gnome-keyring, puis "
                                 "recommencez.")};
}

CommandFailure CommandFailure::from(const QDBusError &error)
{
    const QString name = error.name();
    if (name.startsWith(extensionErrorPrefix)) {
        const QString which = name.mid(extensionErrorPrefix.size());
        if (which == u"NoSession")
            return {ExitStatus::notSignedIn, error.message()};
        if (which == u"Failed")
            return {ExitStatus::retryable, error.message()};
        return {ExitStatus::refused, error.message()};
    }
    if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout
        || error.type() == QDBusError::TimedOut)
        return {ExitStatus::retryable,
                QStringLiteral("Le service de synchronisation n'a pas répondu à temps.")};
    return {ExitStatus::unreachable,
            QStringLiteral("Le service de synchronisation (nimbal-fileprovider) est injoignable "
                           "sur le bus de session (%1) : vérifiez qu'Orvelan Nimbal est installé "
                           "et que « nimbal-fileprovider status » répond.")
                .arg(error.message())};
}

} // namespace OrvelanNimbal::CommandLine
