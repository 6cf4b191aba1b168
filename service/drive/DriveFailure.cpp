// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveFailure.h"

#include "foundation/JsonHttp.h"

#include <httplib.h>

namespace OrvelanNimbal::Service {

DriveFailure::DriveFailure(int status, QString code, QString message, std::string conflict)
    : std::runtime_error(toStd(message))
    , m_status(status)
    , m_code(std::move(code))
    , m_message(std::move(message))
    , m_conflict(std::move(conflict))
{}

void DriveFailure::answer(httplib::Response &response) const
{
    if (!m_conflict.empty())
        response.set_header("X-Drive-Conflict", m_conflict);
    sendError(response, m_status, m_code, m_message);
}

DriveFailure DriveFailure::invalid(const QString &message)
{
    return {400, QStringLiteral("invalid_request"), message};
}

DriveFailure DriveFailure::invalidName(const QString &message)
{
    return {400, QStringLiteral("invalid_name"), message};
}

DriveFailure DriveFailure::notFound(const QString &message)
{
    return {404, QStringLiteral("not_found"), message};
}

DriveFailure DriveFailure::nameTaken(const QString &name)
{
    return {409, QStringLiteral("name_taken"),
            QStringLiteral("« %1 » existe déjà dans ce dossier").arg(name)};
}

DriveFailure DriveFailure::archived()
{
    return {409, QStringLiteral("archived"),
            QStringLiteral("ce fichier est archivé : son contenu n'est servi que depuis le web"),
            "archived"};
}

DriveFailure DriveFailure::reinforced()
{
    return {
        409, QStringLiteral("reinforced"),
        QStringLiteral("ce fichier est sous protection renforcée : son contenu ne peut changer"),
        "reinforced"};
}

DriveFailure DriveFailure::staleVersion()
{
    return {409, QStringLiteral("version_conflict"),
            QStringLiteral("le contenu a changé depuis la version que le client connaît")};
}

DriveFailure DriveFailure::tooLarge(const QString &message)
{
    return {413, QStringLiteral("payload_too_large"), message};
}

DriveFailure DriveFailure::locked()
{
    return {423, QStringLiteral("locked"),
            QStringLiteral("ce fichier est ouvert dans l'éditeur en ligne")};
}

DriveFailure DriveFailure::insufficientQuota()
{
    return {507, QStringLiteral("insufficient_quota"),
            QStringLiteral("l'espace de stockage du compte ne suffit pas")};
}

DriveFailure DriveFailure::mismatch(const QString &code, const QString &message)
{
    return {400, code, message};
}

DriveFailure DriveFailure::cursorExpired()
{
    return {410, QStringLiteral("cursor_expired"),
            QStringLiteral("curseur inconnu ou trop ancien : relisez tout le Nimbal")};
}

} // namespace OrvelanNimbal::Service
