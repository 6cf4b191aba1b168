// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Layouts
import OrvelanNimbal.Panel

// An inline notice in a tint: an icon and a message that wraps onto as many lines as it needs.
Rectangle {
    id: banner

    property string text
    property string systemImage
    property color tint: Style.red

    implicitHeight: row.implicitHeight + 20
    radius: Style.radius
    color: Style.tinted(tint, 0.1)
    border.width: Style.hairline
    border.color: Style.tinted(tint, 0.3)
    Accessible.role: Accessible.StaticText
    Accessible.name: text

    RowLayout {
        id: row

        anchors.fill: parent
        anchors.margins: 10
        spacing: 8

        SymbolIcon {
            symbol: banner.systemImage
            color: banner.tint
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
        }
    }
}
