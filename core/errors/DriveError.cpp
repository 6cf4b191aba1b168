// SPDX-License-Identifier: GPL-3.0-or-later
#include "errors/DriveError.h"

namespace OrvelanNimbal {

DriveError::DriveError(Kind kind, int status, QString text)
    : m_kind(kind)
    , m_status(status)
    , m_text(std::move(text))
{
    m_what = errorDescription().toUtf8();
}

DriveError DriveError::http(int status, QString body)
{
    return DriveError(Kind::http, status, std::move(body));
}

DriveError DriveError::transport(QString reason)
{
    return DriveError(Kind::transport, 0, std::move(reason));
}

DriveError DriveError::decoding(QString description)
{
    return DriveError(Kind::decoding, 0, std::move(description));
}

QString DriveError::errorDescription() const
{
    switch (m_kind) {
    case Kind::http:
        return QStringLiteral("Erreur du serveur (HTTP %1). ").arg(m_status) + m_text;
    case Kind::transport:
        return QStringLiteral("Le Nimbal est injoignable. ") + m_text;
    case Kind::decoding:
        return QStringLiteral("Réponse du serveur illisible. ") + m_text;
    case Kind::notAuthenticated:
        return QStringLiteral("Session expirée, reconnexion nécessaire.");
    case Kind::notFound:
        return QStringLiteral("Cet élément n'existe plus sur le Nimbal.");
    case Kind::insufficientQuota:
        return QStringLiteral("Espace de stockage insuffisant sur le Nimbal.");
    case Kind::payloadTooLarge:
        return QStringLiteral("Fichier trop volumineux pour un envoi direct.");
    case Kind::reinforced:
        return QStringLiteral("Ce fichier est en stockage renforcé : modifiez-le depuis le web.");
    case Kind::locked:
        return QStringLiteral(
            "Ce fichier est ouvert dans l'éditeur en ligne. Nouvel essai dans un instant.");
    case Kind::versionConflict:
        return QStringLiteral("Ce fichier a été modifié ailleurs entre-temps.");
    case Kind::archived:
        return QStringLiteral("Ce fichier est archivé, il reste disponible depuis le web.");
    case Kind::cursorExpired:
        return QStringLiteral("La synchronisation doit repartir d'un état complet du Nimbal.");
    case Kind::twoFactorInvalidCode:
        return QStringLiteral("Code invalide.");
    case Kind::twoFactorExpired:
        return QStringLiteral("La vérification a expiré. Reconnectez-vous.");
    case Kind::tooManyAttempts:
        return QStringLiteral("Trop de tentatives, réessayez dans quelques minutes.");
    case Kind::twoFactorClientUnsupported:
        return QStringLiteral("Cette version d'Orvelan Nimbal ne sait pas gérer la double "
                              "authentification. Mettez l'app à jour.");
    }
    Q_UNREACHABLE();
}

bool DriveError::isRetryable() const
{
    return m_kind == Kind::transport || (m_kind == Kind::http && m_status >= 500);
}

const char *DriveError::what() const noexcept
{
    return m_what.constData();
}

QString debugName(const DriveError &error)
{
    using Kind = DriveError::Kind;
    switch (error.kind()) {
    case Kind::http:
        return QStringLiteral("http(%1)").arg(error.status());
    case Kind::transport:
        return QStringLiteral("transport");
    case Kind::decoding:
        return QStringLiteral("decoding");
    case Kind::notAuthenticated:
        return QStringLiteral("notAuthenticated");
    case Kind::notFound:
        return QStringLiteral("notFound");
    case Kind::insufficientQuota:
        return QStringLiteral("insufficientQuota");
    case Kind::payloadTooLarge:
        return QStringLiteral("payloadTooLarge");
    case Kind::reinforced:
        return QStringLiteral("reinforced");
    case Kind::locked:
        return QStringLiteral("locked");
    case Kind::versionConflict:
        return QStringLiteral("versionConflict");
    case Kind::archived:
        return QStringLiteral("archived");
    case Kind::cursorExpired:
        return QStringLiteral("cursorExpired");
    case Kind::twoFactorInvalidCode:
        return QStringLiteral("twoFactorInvalidCode");
    case Kind::twoFactorExpired:
        return QStringLiteral("twoFactorExpired");
    case Kind::tooManyAttempts:
        return QStringLiteral("tooManyAttempts");
    case Kind::twoFactorClientUnsupported:
        return QStringLiteral("twoFactorClientUnsupported");
    }
    Q_UNREACHABLE();
}

} // namespace OrvelanNimbal
