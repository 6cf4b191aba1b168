// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Layouts
import OrvelanNimbal.Panel

// The newest conflict the sync kept a copy for, until the user closes it.
Rectangle {
    id: banner

    property string text

    signal dismiss

    implicitHeight: row.implicitHeight + 20
    radius: Style.radius
    color: Style.tinted(Style.orange, 0.12)
    border.width: Style.hairline
    border.color: Style.tinted(Style.orange, 0.35)

    RowLayout {
        id: row

        anchors.fill: parent
        anchors.margins: 10
        spacing: 8

        SymbolIcon {
            symbol: "exclamationmark.triangle.fill"
            color: Style.orange
            size: Style.caption + 2
            Layout.alignment: Qt.AlignTop
        }
        Text {
            text: banner.text
            color: Style.primary
            font.pixelSize: Style.caption
            wrapMode: Text.Wrap
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        IconButton {
            objectName: "dismissConflict"
            systemImage: "xmark"
            tip: "Masquer"
            edge: Qt.AlignRight
            size: 10
            Layout.alignment: Qt.AlignTop
            Layout.topMargin: -4
            Layout.rightMargin: -4
            onClicked: banner.dismiss()
        }
    }
}
