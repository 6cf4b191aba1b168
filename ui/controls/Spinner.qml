// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls.Basic
import OrvelanNimbal.Panel

// The small activity spinner.
BusyIndicator {
    property color color: Style.secondary

    implicitWidth: 16
    implicitHeight: 16
    padding: 0
    running: visible
    palette.dark: color
    Accessible.name: "Chargement"
}
