// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls.Basic
import OrvelanNimbal.Panel

// A square icon button with a hover highlight and a fast tooltip; the tooltip is also its
// accessible name. While busy it shows a spinner and refuses presses, yet still shows its tip.
Item {
    id: root

    property string systemImage
    property string tip
    property int edge: Qt.AlignHCenter
    property bool busy: false
    property real size: 14
    property alias tooltip: tooltip
    readonly property bool hovering: hover.hovered

    signal clicked

    implicitWidth: size + 16
    implicitHeight: size + 16
    activeFocusOnTab: false

    HoverHandler {
        id: hover
    }

    AbstractButton {
        id: button

        anchors.fill: parent
        enabled: !root.busy
        focusPolicy: Qt.StrongFocus
        Accessible.role: Accessible.Button
        Accessible.name: root.tip
        // Quick Controls 6.4 buttons do not act on an assistive technology's press by themselves.
        Accessible.onPressAction: {
            if (enabled)
                root.clicked();
        }
        Keys.onSpacePressed: root.clicked()
        onClicked: root.clicked()

        background: Rectangle {
            radius: Style.radiusSmall
            color: root.hovering ? Style.tinted(Style.primary, 0.09) : "transparent"
            border.width: button.visualFocus ? Style.focusWidth : 0
            border.color: Style.brandGreen
        }
        contentItem: Item {
            Spinner {
                anchors.centerIn: parent
                visible: root.busy
            }
            SymbolIcon {
                anchors.centerIn: parent
                visible: !root.busy
                symbol: root.systemImage
                size: root.size
            }
        }
    }

    FastTooltip {
        id: tooltip

        text: root.tip
        edge: root.edge
        placement: FastTooltip.Above
    }
}
