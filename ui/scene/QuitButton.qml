// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import OrvelanNimbal.Panel

// Quits at once, without a question: the drive keeps its folder for the next launch.
IconButton {
    objectName: "quitButton"
    systemImage: "power"
    tip: "Quitter Orvelan Nimbal"
    edge: Qt.AlignRight
    size: 14
    onClicked: AppActions.quit()
}
