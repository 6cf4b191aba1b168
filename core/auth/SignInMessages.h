// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// What a sign-in tells the user where the service's answer is not an error of its own: the same
// words in the panel and in the terminal.
namespace OrvelanNimbal::SignInMessages {

// The account's second factor is a passkey only, which no code can answer.
inline const QString passkeyOnly = QStringLiteral(
    "Cette boîte n'accepte que les clés d'accès. Connectez-vous depuis le webmail, ou ajoutez une "
    "application d'authentification depuis l'espace Comptes.");
// The pending sign-in expired before its code came: the password is asked again.
inline const QString verificationExpired =
    QStringLiteral("La vérification a expiré. Saisissez de nouveau votre mot de passe.");

} // namespace OrvelanNimbal::SignInMessages
