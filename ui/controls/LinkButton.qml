// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls.Basic
import OrvelanNimbal.Panel

// A button that reads as a link: the text in the brand colour, underlined on hover.
AbstractButton {
    id: link

    property int pixelSize: Style.caption

    focusPolicy: Qt.StrongFocus
    hoverEnabled: true
    padding: 0
    Accessible.role: Accessible.Link
    Accessible.name: text
    Accessible.onPressAction: clicked()
    Keys.onSpacePressed: clicked()

    contentItem: Text {
        text: link.text
        color: Style.brandGreen
        font.pixelSize: link.pixelSize
        font.underline: link.hovered || link.visualFocus
        wrapMode: Text.Wrap
    }
}
