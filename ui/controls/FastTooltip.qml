// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import OrvelanNimbal.Panel

// A tooltip that appears a quarter of a second after the pointer enters the control it fills,
// fades in over 0.12 s, and disappears at once when the pointer leaves. The bubble never takes
// the pointer: clicks and hovers pass through to what lies below.
Item {
    id: tooltip

    enum Placement {
        Above,
        Below
    }

    property string text
    property int edge: Qt.AlignHCenter // Qt.AlignLeft, Qt.AlignHCenter or Qt.AlignRight
    property int placement: FastTooltip.Above
    readonly property bool hovering: hover.hovered
    // Whether the bubble is up; the delay and the pointer set it.
    property bool shown: false
    property int delay: 250
    property int fadeDuration: 120

    anchors.fill: parent
    z: 100

    onHoveringChanged: {
        if (hovering) {
            pending.restart();
        } else {
            pending.stop();
            shown = false;
        }
    }
    onShownChanged: {
        if (shown) {
            fadeIn.restart();
        } else {
            fadeIn.stop();
            bubble.opacity = 0;
        }
    }

    HoverHandler {
        id: hover
    }

    Timer {
        id: pending

        interval: tooltip.delay
        onTriggered: {
            if (tooltip.hovering)
                tooltip.shown = true;
        }
    }

    NumberAnimation {
        id: fadeIn

        target: bubble
        property: "opacity"
        from: 0
        to: 1
        duration: tooltip.fadeDuration
        easing.type: Easing.OutQuad
    }

    Item {
        id: bubble

        objectName: "tooltipBubble"
        opacity: 0
        visible: opacity > 0
        width: label.implicitWidth + 16
        height: label.implicitHeight + 8
        x: tooltip.edge === Qt.AlignLeft ? 0 : tooltip.edge === Qt.AlignRight ? tooltip.width - width : (tooltip.width - width) / 2
        y: tooltip.placement === FastTooltip.Above ? -30 : tooltip.height - height + 30

        // The shadow: black at 0.18, blurred over 4 points, one point down. Painted rather than
        // made with a shader effect, which the software renderer of the panel does not draw.
        Canvas {
            id: shadow

            objectName: "tooltipShadow"
            readonly property real blur: 4
            readonly property real margin: 2 * blur

            x: -margin
            y: -margin
            width: parent.width + 2 * margin
            height: parent.height + 2 * margin
            onWidthChanged: requestPaint()
            onHeightChanged: requestPaint()
            onPaint: {
                const context = getContext("2d");
                context.reset();
                context.shadowColor = Qt.rgba(0, 0, 0, 0.18);
                context.shadowBlur = blur;
                context.shadowOffsetX = 0;
                context.shadowOffsetY = 1;
                // Opaque, so the shadow has its full strength; the bubble covers the shape.
                context.fillStyle = Style.windowBackground;
                context.beginPath();
                context.roundedRect(margin, margin, bubble.width, bubble.height, Style.radiusSmall, Style.radiusSmall);
                context.fill();
            }
        }
        Rectangle {
            anchors.fill: parent
            radius: Style.radiusSmall
            color: Style.windowBackground
            border.width: Style.hairline
            border.color: Style.tinted(Style.primary, 0.12)
        }
        Text {
            id: label

            anchors.centerIn: parent
            text: tooltip.text
            color: Style.primary
            font.pixelSize: Style.caption
            wrapMode: Text.NoWrap
        }
    }
}
