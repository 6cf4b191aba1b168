// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import QtQuick.Window
import OrvelanNimbal.Panel

// The update window: one update session of the updater, from the check to the install. It holds
// no state of its own; every text comes from the updater, every button calls one of its
// operations. The updater's presenter shows it (show, raise, activate); it hides itself when the
// session ends, and closing it ends the session ("Plus tard").
Window {
    id: window

    required property QtObject updater
    readonly property int sessionState: updater ? updater.state : states.idle

    // The updater's states, in the order it declares them.
    readonly property QtObject states: QtObject {
        readonly property int idle: 0
        readonly property int checking: 1
        readonly property int upToDate: 2
        readonly property int available: 3
        readonly property int downloading: 4
        readonly property int verifying: 5
        readonly property int readyToRestart: 6
        readonly property int handedOver: 7
        readonly property int failed: 8
    }

    title: "Mises à jour d'Orvelan Nimbal"
    flags: Qt.Dialog
    modality: Qt.NonModal
    width: 420
    height: content.implicitHeight + 40
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    color: Style.palette.window

    onClosing: {
        if (sessionState !== states.idle)
            window.updater.remindLater();
    }

    Connections {
        target: window.updater

        function onSessionChanged() {
            if (window.sessionState === window.states.idle)
                window.hide();
        }
    }

    ColumnLayout {
        id: content

        x: 20
        y: 20
        width: window.width - 40
        spacing: 14

        RowLayout {
            spacing: 12
            Layout.fillWidth: true

            // The update mark, the panel's own download symbol in the brand colour.
            SymbolIcon {
                symbol: "arrow.down.circle.fill"
                size: 40
                color: Style.brandGreen
                Layout.preferredWidth: 40
                Layout.preferredHeight: 40
                Layout.alignment: Qt.AlignTop
            }
            ColumnLayout {
                spacing: 4
                Layout.fillWidth: true

                Text {
                    objectName: "heading"
                    text: window.updater && window.updater.foundVersion !== "" ? "Orvelan Nimbal " + window.updater.foundVersion : "Orvelan Nimbal " + (window.updater ? window.updater.shortVersion : "")
                    color: Style.primary
                    font.pixelSize: Style.headline
                    font.weight: Font.DemiBold
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    objectName: "message"
                    visible: window.sessionState !== window.states.failed
                    text: window.updater ? window.updater.message : ""
                    color: Style.secondary
                    font.pixelSize: Style.callout
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
            BusyIndicator {
                objectName: "spinner"
                visible: window.sessionState === window.states.checking || window.sessionState === window.states.verifying
                running: visible
                implicitWidth: 18
                implicitHeight: 18
                padding: 0
                Layout.alignment: Qt.AlignTop
                Accessible.name: "Chargement"
            }
        }

        // What the failure was, in the panel's red banner.
        Rectangle {
            objectName: "failure"
            visible: window.sessionState === window.states.failed
            radius: Style.radius
            color: Style.tinted(Style.red, 0.1)
            border.width: Style.hairline
            border.color: Style.tinted(Style.red, 0.3)
            implicitHeight: failureText.implicitHeight + 20
            Layout.fillWidth: true

            Text {
                id: failureText

                objectName: "failureText"
                x: 10
                y: 10
                width: parent.width - 20
                text: window.updater ? window.updater.message : ""
                color: Style.primary
                font.pixelSize: Style.caption
                wrapMode: Text.Wrap
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        // The release notes of the version offered.
        ColumnLayout {
            objectName: "notes"
            visible: window.sessionState === window.states.available && window.updater && (window.updater.releaseNotes !== "" || window.updater.releaseNotesLink.toString() !== "")
            spacing: 6
            Layout.fillWidth: true

            Text {
                text: "Nouveautés"
                color: Style.primary
                font.pixelSize: Style.callout
                font.weight: Font.DemiBold
            }
            Rectangle {
                visible: window.updater && window.updater.releaseNotes !== ""
                radius: Style.radius
                color: Style.tinted(Style.primary, 0.05)
                border.width: Style.hairline
                border.color: Style.tinted(Style.primary, 0.15)
                Layout.fillWidth: true
                Layout.preferredHeight: Math.min(notesText.implicitHeight + 20, 160)

                ScrollView {
                    id: notesScroll

                    anchors.fill: parent
                    anchors.margins: 10
                    clip: true

                    Text {
                        id: notesText

                        // The scroll view's own width: its content item is as wide as the text would be.
                        width: notesScroll.availableWidth
                        // As published, never as markup: the feed is not signed, only releases are.
                        text: window.updater ? window.updater.releaseNotes : ""
                        textFormat: Text.PlainText
                        color: Style.primary
                        font.pixelSize: Style.caption
                        wrapMode: Text.Wrap
                    }
                }
            }
            Text {
                objectName: "notesLink"
                visible: window.updater && window.updater.releaseNotesLink.toString() !== ""
                text: "Notes de version complètes"
                color: Style.brandGreen
                font.pixelSize: Style.caption
                font.underline: linkHover.hovered
                Accessible.role: Accessible.Link
                Accessible.name: text
                Accessible.onPressAction: Qt.openUrlExternally(window.updater.releaseNotesLink)

                HoverHandler {
                    id: linkHover

                    cursorShape: Qt.PointingHandCursor
                }
                TapHandler {
                    onTapped: Qt.openUrlExternally(window.updater.releaseNotesLink)
                }
            }
        }

        RowLayout {
            objectName: "download"
            visible: window.sessionState === window.states.downloading
            spacing: 8
            Layout.fillWidth: true

            ProgressBar {
                id: progress

                from: 0
                to: 1
                value: window.updater ? window.updater.progress : 0
                Layout.fillWidth: true

                contentItem: Item {
                    implicitHeight: 6

                    Rectangle {
                        width: progress.visualPosition * parent.width
                        height: parent.height
                        radius: 3
                        color: Style.brandGreen
                    }
                }
                background: Rectangle {
                    implicitHeight: 6
                    radius: 3
                    color: Style.tinted(Style.primary, 0.1)
                }
            }
            Text {
                text: Math.round(progress.value * 100) + " %"
                color: Style.secondary
                font.pixelSize: Style.caption
                Layout.preferredWidth: 36
                horizontalAlignment: Text.AlignRight
            }
        }

        RowLayout {
            spacing: 8
            Layout.fillWidth: true
            Layout.topMargin: 4

            DialogButton {
                objectName: "skipButton"
                visible: window.sessionState === window.states.available
                title: "Ignorer cette version"
                plain: true
                onClicked: window.updater.skipThisVersion()
            }
            Item {
                Layout.fillWidth: true
            }
            DialogButton {
                objectName: "laterButton"
                visible: window.sessionState === window.states.available || window.sessionState === window.states.readyToRestart
                title: "Plus tard"
                onClicked: window.updater.remindLater()
            }
            DialogButton {
                objectName: "cancelButton"
                visible: window.sessionState === window.states.checking || window.sessionState === window.states.downloading || window.sessionState === window.states.verifying
                title: "Annuler"
                onClicked: window.updater.remindLater()
            }
            DialogButton {
                objectName: "closeButton"
                visible: window.sessionState === window.states.upToDate || window.sessionState === window.states.handedOver || window.sessionState === window.states.failed
                title: "Fermer"
                prominent: window.sessionState !== window.states.failed
                onClicked: window.updater.remindLater()
            }
            DialogButton {
                objectName: "retryButton"
                visible: window.sessionState === window.states.failed
                title: "Réessayer"
                prominent: true
                onClicked: window.updater.checkForUpdates()
            }
            DialogButton {
                objectName: "restartButton"
                visible: window.sessionState === window.states.readyToRestart
                title: "Redémarrer"
                prominent: true
                onClicked: window.updater.restart()
            }
            DialogButton {
                objectName: "installButton"
                visible: window.sessionState === window.states.available
                title: "Installer"
                prominent: true
                onClicked: window.updater.install()
            }
        }
    }

    // The window's buttons: prominent in the brand colour, bordered, or plain (a link).
    component DialogButton: AbstractButton {
        id: button

        property string title
        property bool prominent: false
        property bool plain: false

        text: title
        focusPolicy: Qt.StrongFocus
        hoverEnabled: true
        padding: plain ? 0 : 6
        leftPadding: plain ? 0 : 14
        rightPadding: plain ? 0 : 14
        Accessible.role: Accessible.Button
        Accessible.name: title
        // Quick Controls 6.4 buttons do not act on an assistive technology's press by themselves.
        Accessible.onPressAction: clicked()
        Keys.onReturnPressed: clicked()
        Keys.onSpacePressed: clicked()

        contentItem: Text {
            text: button.title
            color: button.prominent ? "white" : button.plain ? Style.brandGreen : Style.primary
            font.pixelSize: Style.callout
            font.weight: button.prominent ? Font.DemiBold : Font.Normal
            font.underline: button.plain && (button.hovered || button.visualFocus)
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle {
            visible: !button.plain
            implicitHeight: 28
            radius: Style.radius
            color: button.prominent ? (button.down ? Qt.darker(Style.brandGreen, 1.15) : Style.brandGreen) : Style.tinted(Style.primary, button.down ? 0.12 : button.hovered ? 0.08 : 0.05)
            border.width: button.visualFocus ? Style.focusWidth : (button.prominent ? 0 : Style.hairline)
            border.color: button.visualFocus ? Qt.lighter(Style.brandGreen, 1.4) : Style.tinted(Style.primary, 0.2)
        }
    }
}
