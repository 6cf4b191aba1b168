// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import OrvelanNimbal.Panel

// The full-width call to action. `busy` shows a spinner before the title but does not disable
// the button by itself: callers pass `enabled` false while their work runs. It is the default
// button of its screen: the screen presses it on Return.
AbstractButton {
    id: button

    property string title
    property bool busy: false

    text: title
    implicitHeight: 34
    focusPolicy: Qt.StrongFocus
    Accessible.role: Accessible.Button
    Accessible.name: title
    // Quick Controls 6.4 buttons do not act on an assistive technology's press by themselves.
    Accessible.onPressAction: {
        if (enabled)
            clicked();
    }
    Keys.onSpacePressed: clicked()

    contentItem: RowLayout {
        spacing: 8

        Item {
            Layout.fillWidth: true
        }
        Spinner {
            visible: button.busy
            color: "white"
        }
        Text {
            text: button.title
            color: "white"
            font.pixelSize: Style.body
            font.weight: Font.DemiBold
        }
        Item {
            Layout.fillWidth: true
        }
    }

    background: Rectangle {
        radius: Style.radius
        color: Style.tinted(Style.brandGreen, button.enabled || button.busy ? 1 : 0.45)
        border.width: button.visualFocus ? Style.focusWidth : 0
        border.color: Qt.lighter(Style.brandGreen, 1.6)
    }
}
