// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/UpdateError.h"

#include "errors/DriveError.h"

namespace OrvelanNimbal {

UpdateError::UpdateError(Kind kind, QString detail)
    : m_kind(kind)
    , m_detail(std::move(detail))
    , m_what(errorDescription().toUtf8())
{}

UpdateError UpdateError::fromNetwork(Kind kind, const DriveError &failure)
{
    if (failure.kind() == DriveError::Kind::http)
        return UpdateError(kind, QStringLiteral("Le serveur des mises à jour a répondu par une "
                                                "erreur (HTTP %1).")
                                     .arg(failure.status()));
    return UpdateError(
        kind,
        QStringLiteral("Le serveur des mises à jour est injoignable (%1).").arg(failure.text()));
}

QString UpdateError::errorDescription() const
{
    switch (m_kind) {
    case Kind::feedUnreachable:
        return QStringLiteral("Impossible de rechercher les mises à jour pour le moment. ")
               + m_detail;
    case Kind::feedUnreadable:
        return QStringLiteral("Les informations de mise à jour reçues sont illisibles. "
                              "Réessayez plus tard.");
    case Kind::downloadFailed:
        return QStringLiteral("Le téléchargement de la mise à jour a échoué. ") + m_detail;
    case Kind::incomplete:
        return QStringLiteral("Le fichier téléchargé est incomplet : il a été supprimé et rien "
                              "n'a été installé. Réessayez plus tard.");
    case Kind::signatureMissing:
        return QStringLiteral("Cette mise à jour n'est pas signée : elle ne sera pas installée.");
    case Kind::signatureInvalid:
        return QStringLiteral("La signature de la mise à jour est invalide : le fichier "
                              "téléchargé a été supprimé et rien n'a été installé.");
    case Kind::installFailed:
        return QStringLiteral("Impossible de remplacer l'application (%1). Votre version "
                              "actuelle reste en place.")
            .arg(m_detail);
    case Kind::handOverFailed:
        return QStringLiteral("Impossible d'ouvrir le paquet vérifié. Installez-le vous-même "
                              "depuis %1.")
            .arg(m_detail);
    case Kind::relaunchFailed:
        return QStringLiteral("La nouvelle version est installée mais n'a pas pu être lancée : "
                              "quittez Orvelan Nimbal et rouvrez-le.");
    }
    Q_UNREACHABLE();
}

} // namespace OrvelanNimbal
