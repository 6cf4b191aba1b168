// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/KeychainError.h"

namespace OrvelanNimbal {

KeychainError::KeychainError(qint32 status, QString systemMessage)
    : m_status(status)
    , m_systemMessage(std::move(systemMessage))
    , m_what(errorDescription().toUtf8())
{}

QString KeychainError::errorDescription() const
{
    const QString reason =
        m_systemMessage.isEmpty() ? QStringLiteral("code %1").arg(m_status) : m_systemMessage;
    return QStringLiteral("Accès au trousseau impossible : ") + reason;
}

const char *KeychainError::what() const noexcept
{
    return m_what.constData();
}

} // namespace OrvelanNimbal
