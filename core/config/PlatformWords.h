// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The words that name the computer's system, its file manager or its settings, in this
// desktop's words, for the application, its panel and the extension alike. Every other text is
// the same on every system; these are the ones to change, here and only here, for another one.
namespace OrvelanNimbal::PlatformWords {

// In conflict copies' names: "Rapport (conflit Linux 2024-03-05 14h07).docx".
inline const QString conflictSystem = QStringLiteral("Linux");
// The trusted-device label when the computer has no name.
inline const QString deviceLabel = QStringLiteral("Linux");
// The folder, in the home folder, that holds one folder per signed-in account; opened when the
// account's own folder is unknown.
inline const QString accountsFolder = QStringLiteral("Nimbal");
// Beside a removed domain's folder, what was not sent yet: "~/Nimbal/<account> (non synchronisé)".
inline const QString unsentSuffix = QStringLiteral(" (non synchronisé)");

// The panel.
// Second line of the sign-in header.
inline const QString signInTagline = QStringLiteral("Votre Nimbal, directement dans vos fichiers");
// The two-factor view's checkbox.
inline const QString rememberDevice =
    QStringLiteral("Se souvenir de cet ordinateur pendant 30 jours");
// The passkey notice's fourth piece.
inline const QString passkeyNoticeFourthPiece = QStringLiteral(
    "de bureau ne sait pas encore utiliser. Ajoutez une application d'authentification ");
// Tip of the status view's folder button.
inline const QString openFolderTip = QStringLiteral("Ouvrir dans le gestionnaire de fichiers");
// The approval card: its explanation, its two switches (the second followed by the account), its
// hint and its button, which turns both back on.
inline const QString approvalExplanation =
    QStringLiteral("Orvelan Nimbal a été désactivé sur cet ordinateur. Pour afficher le Nimbal "
                   "dans vos fichiers, réactivez :");
inline const QString approvalFirstSwitch =
    QStringLiteral("Service de synchronisation : Orvelan Nimbal");
inline const QString approvalSecondSwitch = QStringLiteral("Dossier du compte : ");
inline const QString approvalHint =
    QStringLiteral("Ou dans un terminal : nimbal-fileprovider enable");
inline const QString approvalButton = QStringLiteral("Réactiver");

} // namespace OrvelanNimbal::PlatformWords
