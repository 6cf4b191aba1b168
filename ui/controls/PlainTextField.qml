// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls.Basic
import OrvelanNimbal.Panel

// A text field without a frame of its own, for use inside a FieldBox. Its accessible name is its
// placeholder, which is what a sighted user reads in the empty field.
TextField {
    background: null
    padding: 0
    leftPadding: 0
    rightPadding: 0
    color: Style.primary
    placeholderTextColor: Style.secondary
    selectionColor: Style.tinted(Style.brandGreen, 0.4)
    selectedTextColor: Style.primary
    font.pixelSize: Style.body
    verticalAlignment: TextInput.AlignVCenter
    selectByMouse: true
    Accessible.name: placeholderText
}
