// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import OrvelanNimbal.Panel

// A discreet note that a newer version waits; it takes no room while none does.
Rectangle {
    id: banner

    required property QtObject updater
    readonly property string pendingVersion: updater && updater.pendingVersion ? updater.pendingVersion : ""

    visible: pendingVersion !== ""
    implicitHeight: row.implicitHeight + 20
    radius: Style.radius
    color: Style.tinted(Style.brandGreen, 0.1)
    border.width: Style.hairline
    border.color: Style.tinted(Style.brandGreen, 0.35)

    RowLayout {
        id: row

        anchors.fill: parent
        anchors.margins: 10
        spacing: 8

        SymbolIcon {
            symbol: "arrow.down.circle.fill"
            color: Style.brandGreen
            size: 16
        }
        Text {
            text: "Mise à jour " + banner.pendingVersion + " disponible"
            color: Style.primary
            font.pixelSize: Style.callout
            font.weight: Font.Medium
            elide: Text.ElideRight
            Layout.fillWidth: true
        }
        Button {
            id: install

            objectName: "installButton"
            text: "Installer"
            font.pixelSize: Style.caption
            padding: 4
            leftPadding: 10
            rightPadding: 10
            Accessible.name: text
            Accessible.onPressAction: clicked()
            onClicked: banner.updater.checkForUpdates()

            contentItem: Text {
                text: install.text
                color: "white"
                font: install.font
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }
            background: Rectangle {
                radius: 5
                color: install.down ? Qt.darker(Style.brandGreen, 1.15) : Style.brandGreen
                border.width: install.visualFocus ? Style.focusWidth : 0
                border.color: Qt.lighter(Style.brandGreen, 1.6)
            }
        }
    }
}
