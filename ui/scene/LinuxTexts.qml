// SPDX-License-Identifier: GPL-3.0-or-later
pragma Singleton
import QtQuick

// The panel's texts that name the desktop this build runs on, together, so that a port finds
// its words in one file.
QtObject {
    readonly property string signInTagline: "Votre Nimbal, directement dans vos fichiers"
    readonly property string rememberDevice: "Se souvenir de cet ordinateur pendant 30 jours"
    readonly property string passkeyDevicePiece: "de bureau ne sait pas encore utiliser. Ajoutez une application d'authentification "
    readonly property string openFolderTip: "Ouvrir dans le gestionnaire de fichiers"
    readonly property string approvalExplanation: "Orvelan Nimbal a été désactivé sur cet ordinateur. Pour afficher le Nimbal dans vos fichiers, réactivez :"
    readonly property string approvalServiceSwitch: "Service de synchronisation : Orvelan Nimbal"
    readonly property string approvalFolderSwitchPrefix: "Dossier du compte : "
    readonly property string approvalHint: "Ou dans un terminal : nimbal-fileprovider enable"
    readonly property string approvalButton: "Réactiver"
}
