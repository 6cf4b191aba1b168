// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Layouts
import OrvelanNimbal.Panel

// The frame of an input: a leading icon, then what the box holds (a text field, or a field and
// a button). The border turns green and wider while the field inside has the focus.
Rectangle {
    id: box

    property string systemImage
    property bool focused: false
    default property alias content: row.data

    implicitHeight: 34
    radius: Style.radius
    color: Style.tinted(Style.primary, 0.06)
    border.width: focused ? Style.focusWidth : Style.hairline
    border.color: focused ? Style.brandGreen : Style.tinted(Style.primary, 0.12)

    RowLayout {
        id: row

        anchors.fill: parent
        anchors.leftMargin: 10
        anchors.rightMargin: 10
        spacing: 8

        SymbolIcon {
            symbol: box.systemImage
            color: Style.secondary
            Layout.preferredWidth: 16
            Layout.alignment: Qt.AlignVCenter
        }
    }
}
