// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Layouts
import OrvelanNimbal.App
import OrvelanNimbal.Panel

// The sign-in screen's last row: the version, and the button that quits.
RowLayout {
    id: footer

    required property AppModel model

    Text {
        text: "Version " + AppActions.shortVersion(footer.model)
        color: Style.secondary
        font.pixelSize: Style.caption
        font.family: Style.tabularDigitsFamily
    }
    Item {
        Layout.fillWidth: true
    }
    QuitButton {}
}
