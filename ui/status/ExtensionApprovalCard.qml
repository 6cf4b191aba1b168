// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Layouts
import OrvelanNimbal.Panel

// Shown while the user's switch of the sync service or of the account's folder is off: without
// them the drive is not in the user's files. The button turns both back on (the click is the
// user's consent). Its words name this desktop: they come from the platform's table.
Rectangle {
    id: card

    property string account

    signal reactivate

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
                symbol: "switch.2"
                color: Style.brandGreen
            }
            Text {
                text: "Une dernière étape"
                color: Style.primary
                font.pixelSize: Style.callout
                font.weight: Font.DemiBold
            }
        }
        Text {
            text: PlatformWords.approvalExplanation
            color: Style.primary
            font.pixelSize: Style.caption
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        ColumnLayout {
            spacing: 4
            Layout.fillWidth: true

            Repeater {
                model: [PlatformWords.approvalFirstSwitch, PlatformWords.approvalSecondSwitch + card.account]

                RowLayout {
                    required property string modelData

                    spacing: 6
                    Layout.fillWidth: true

                    SymbolIcon {
                        symbol: "checkmark.circle"
                        color: Style.brandGreen
                        size: 12
                        Layout.alignment: Qt.AlignTop
                    }
                    Text {
                        text: modelData
                        color: Style.primary
                        font.pixelSize: Style.caption
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                    }
                }
            }
        }
        Text {
            text: PlatformWords.approvalHint
            color: Style.secondary
            font.pixelSize: Style.caption2
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        PrimaryButton {
            objectName: "approvalButton"
            title: PlatformWords.approvalButton
            Layout.fillWidth: true
            onClicked: card.reactivate()
        }
    }
}
