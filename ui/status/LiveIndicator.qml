// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import OrvelanNimbal.App
import OrvelanNimbal.Panel

// The live connection as a coloured dot with a halo; the tooltip says what the colour means.
Item {
    id: indicator

    // The stream's last status, or undefined before its first report.
    property var status
    readonly property int kind: status ? status.kind : -1
    readonly property color dotColor: kind === LiveStatus.Connected ? Style.brandGreen : kind === LiveStatus.Disconnected ? Style.orange : Style.secondary
    readonly property string tip: {
        switch (kind) {
        case LiveStatus.Connected:
            return "Synchronisation en temps réel active";
        case LiveStatus.Disconnected:
            return "Temps réel interrompu, nouvel essai dans " + status.retryIn + " s";
        case LiveStatus.Unauthorized:
            return "Temps réel arrêté : reconnectez-vous";
        default:
            return "Temps réel en cours de connexion";
        }
    }
    property alias tooltip: tooltip

    implicitWidth: 9 + 12
    implicitHeight: 9 + 12
    Accessible.role: Accessible.Indicator
    Accessible.name: tip

    Rectangle {
        anchors.centerIn: parent
        width: 9
        height: 9
        radius: 4.5
        color: indicator.dotColor
    }
    // The halo: a 4-point ring centred on the dot's edge.
    Rectangle {
        anchors.centerIn: parent
        width: 13
        height: 13
        radius: 6.5
        color: "transparent"
        border.width: 4
        border.color: Style.tinted(indicator.dotColor, 0.35)
    }

    FastTooltip {
        id: tooltip

        text: indicator.tip
        edge: Qt.AlignRight
        placement: FastTooltip.Below
    }
}
