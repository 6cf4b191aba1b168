// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import OrvelanNimbal.App
import OrvelanNimbal.Panel

// The launch-at-login switch. It shows the model's state and asks the model to change it; the
// model then reads the real state back, so the switch never claims what the desktop refused.
ColumnLayout {
    id: block

    required property AppModel model

    // Each time the block is shown, the state is read again.
    function shown() {
        model.refreshLaunchAtLogin();
    }

    spacing: 6

    Switch {
        id: toggle

        objectName: "launchAtLoginSwitch"
        checked: block.model.launchAtLogin
        padding: 0
        spacing: 8
        Accessible.name: "Ouvrir à l'ouverture de session"
        Accessible.onPressAction: toggle.toggle()
        onToggled: {
            block.model.setLaunchAtLogin(checked);
            // The model's answer decides what the switch shows.
            checked = Qt.binding(() => block.model.launchAtLogin);
        }

        indicator: Rectangle {
            implicitWidth: 26
            implicitHeight: 15
            x: toggle.leftPadding
            y: (toggle.height - height) / 2
            radius: height / 2
            color: toggle.checked ? Style.brandGreen : Style.tinted(Style.primary, 0.15)
            border.width: toggle.visualFocus ? Style.focusWidth : 0
            border.color: Qt.lighter(Style.brandGreen, 1.4)

            Rectangle {
                width: 13
                height: 13
                radius: 6.5
                y: 1
                x: toggle.checked ? parent.width - width - 1 : 1
                color: "white"
                border.width: Style.hairline
                border.color: Style.tinted("black", 0.15)
            }
        }
        contentItem: RowLayout {
            spacing: 6

            Item {
                implicitWidth: 26 + 2
            }
            SymbolIcon {
                symbol: "arrow.up.forward.app"
                color: Style.primary
                size: 13
            }
            Text {
                text: "Ouvrir à l'ouverture de session"
                color: Style.primary
                font.pixelSize: Style.callout
            }
        }
    }

    RowLayout {
        visible: block.model.launchAtLoginNeedsApproval
        spacing: 6

        Text {
            text: "À autoriser dans les Réglages."
            color: Style.orange
            font.pixelSize: Style.caption
        }
        LinkButton {
            objectName: "loginItemsSettingsLink"
            text: "Ouvrir les Réglages"
            // The same place as the model's own way there: the desktop's startup settings.
            onClicked: block.model.openSettings()
        }
    }
}
