// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import OrvelanNimbal.Panel

// How much of the drive is used: a bar that turns orange past 90 %, and the amounts in French.
ColumnLayout {
    id: bar

    // {usedMegabytes, maxMegabytes}
    required property var quota
    readonly property real used: quota ? quota.usedMegabytes : 0
    readonly property real maximum: quota ? quota.maxMegabytes : 0
    readonly property real fraction: maximum > 0 ? Math.min(Math.max(used / maximum, 0), 1) : 0
    readonly property bool nearlyFull: maximum > 0 && used / maximum > 0.9
    readonly property color tint: nearlyFull ? Style.orange : Style.brandGreen
    readonly property string usedText: TextRules.gigabytes(used, 1) + " utilisés"
    readonly property string maximumText: "sur " + TextRules.gigabytes(maximum, 0)

    spacing: 5

    ProgressBar {
        id: progress

        from: 0
        to: 1
        value: bar.fraction
        Layout.fillWidth: true
        Accessible.name: bar.usedText + " " + bar.maximumText

        background: Rectangle {
            implicitHeight: 6
            radius: 3
            color: Style.tinted(Style.primary, 0.1)
        }
        contentItem: Item {
            implicitHeight: 6

            Rectangle {
                width: progress.visualPosition * parent.width
                height: parent.height
                radius: 3
                color: bar.tint
            }
        }
    }
    RowLayout {
        Layout.fillWidth: true

        Text {
            text: bar.usedText
            color: Style.secondary
            font.pixelSize: Style.caption
        }
        Item {
            Layout.fillWidth: true
        }
        Text {
            text: bar.maximumText
            color: Style.secondary
            font.pixelSize: Style.caption
        }
    }
}
