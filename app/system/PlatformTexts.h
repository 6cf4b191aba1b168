// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

namespace OrvelanNimbal {

// The few texts that name the computer's system, its file manager or its settings, in this
// desktop's words. Every other text of the application is the same on every system; these are
// the ones to change, here and only here, for another one. The panel reads them as the model's
// `texts`.
struct PlatformTexts {
    Q_GADGET
    Q_PROPERTY(QString deviceLabel MEMBER deviceLabel CONSTANT)
    Q_PROPERTY(QString accountsFolder MEMBER accountsFolder CONSTANT)
    Q_PROPERTY(QString signInTagline MEMBER signInTagline CONSTANT)
    Q_PROPERTY(QString rememberDevice MEMBER rememberDevice CONSTANT)
    Q_PROPERTY(QString passkeyNoticeFourthPiece MEMBER passkeyNoticeFourthPiece CONSTANT)
    Q_PROPERTY(QString openFolderTip MEMBER openFolderTip CONSTANT)
    Q_PROPERTY(QString approvalExplanation MEMBER approvalExplanation CONSTANT)
    Q_PROPERTY(QString approvalFirstSwitch MEMBER approvalFirstSwitch CONSTANT)
    Q_PROPERTY(QString approvalSecondSwitch MEMBER approvalSecondSwitch CONSTANT)
    Q_PROPERTY(QString approvalHint MEMBER approvalHint CONSTANT)
    Q_PROPERTY(QString approvalButton MEMBER approvalButton CONSTANT)

public:
    // The trusted-device label when the computer has no name.
    QString deviceLabel = QStringLiteral("Linux");
    // The folder, in the home folder, that holds one folder per signed-in account; opened when
    // the account's own folder is unknown.
    QString accountsFolder = QStringLiteral("Nimbal");
    // Second line of the sign-in header.
    QString signInTagline = QStringLiteral("Votre Nimbal, directement dans vos fichiers");
    // The two-factor view's checkbox.
    QString rememberDevice = QStringLiteral("Se souvenir de cet ordinateur pendant 30 jours");
    // The passkey notice's fourth piece.
    QString passkeyNoticeFourthPiece = QStringLiteral(
        "de bureau ne sait pas encore utiliser. Ajoutez une application d'authentification ");
    // Tip of the status view's folder button.
    QString openFolderTip = QStringLiteral("Ouvrir dans le gestionnaire de fichiers");
    // The approval card: its explanation, its two switches (the second followed by the account),
    // its hint and its button, which turns both back on (the model's reactivate()).
    QString approvalExplanation =
        QStringLiteral("Orvelan Nimbal a été désactivé sur cet ordinateur. Pour afficher le "
                       "Nimbal dans vos fichiers, réactivez :");
    QString approvalFirstSwitch = QStringLiteral("Service de synchronisation : Orvelan Nimbal");
    QString approvalSecondSwitch = QStringLiteral("Dossier du compte : ");
    QString approvalHint = QStringLiteral("Ou dans un terminal : nimbal-fileprovider enable");
    QString approvalButton = QStringLiteral("Réactiver");
};

} // namespace OrvelanNimbal
