// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import OrvelanNimbal.Panel

// The update button of the button row, with a green badge while a version waits; absent from
// a build that does not update itself.
IconButton {
    id: button

    required property QtObject updater
    property string longVersion
    readonly property string pendingVersion: updater && updater.pendingVersion ? updater.pendingVersion : ""

    objectName: "updateButton"
    visible: !updater || updater.enabled
    systemImage: "arrow.down.circle"
    tip: pendingVersion !== "" ? "Installer la version " + pendingVersion : "Rechercher les mises à jour · version " + longVersion
    edge: Qt.AlignLeft
    size: 14
    onClicked: {
        if (updater)
            updater.checkForUpdates();
    }

    Rectangle {
        objectName: "updateBadge"
        visible: button.pendingVersion !== ""
        width: 7
        height: 7
        radius: 3.5
        color: Style.brandGreen
        x: parent.width - width - 3
        y: 3
    }
}
