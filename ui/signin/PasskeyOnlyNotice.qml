// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Layouts
import OrvelanNimbal.Panel

// For an account whose second factor is a passkey, which this application cannot use: the way to
// the account's security page, and a recovery code for this once where the account has them.
Rectangle {
    id: notice

    property string account
    // The words that name this desktop's application, from the platform's table.
    property string devicePiece
    property bool allowsRecovery: false

    signal openSecurity
    signal useRecovery

    implicitHeight: column.implicitHeight + 24
    radius: Style.radiusCard
    color: Style.tinted(Style.brandGreen, 0.1)
    border.width: Style.hairline
    border.color: Style.tinted(Style.brandGreen, 0.35)

    ColumnLayout {
        id: column

        anchors.fill: parent
        anchors.margins: 12
        spacing: 10

        RowLayout {
            spacing: 8

            SymbolIcon {
                symbol: "person.badge.key.fill"
                color: Style.brandGreen
            }
            Text {
                text: "Une étape de plus"
                color: Style.primary
                font.pixelSize: Style.callout
                font.weight: Font.DemiBold
            }
        }
        Text {
            text: "La double authentification de " + notice.account + " repose sur une clé d'accès, que l'app " + notice.devicePiece + "(codes à six chiffres) dans votre espace Comptes, puis reconnectez-vous."
            color: Style.primary
            font.pixelSize: Style.caption
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        PrimaryButton {
            title: "Ouvrir l'espace Comptes"
            Layout.fillWidth: true
            onClicked: notice.openSecurity()
        }
        LinkButton {
            objectName: "passkeyRecoveryLink"
            visible: notice.allowsRecovery
            text: "Utiliser un code de secours pour cette fois"
            onClicked: notice.useRecovery()
        }
    }
}
