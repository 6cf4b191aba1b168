// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import OrvelanNimbal.App
import OrvelanNimbal.Panel

// The signed-in screen: who is signed in, whether the drive is live and current, its quota, what
// needs the user's attention, and the row of actions. It holds no state beyond hover flags.
FocusScope {
    id: root

    required property AppModel model
    readonly property QtObject updater: model.updater
    readonly property string lastSyncText: model.lastSyncText ?? ""
    readonly property string conflictText: model.conflictText ?? ""
    readonly property string transferLabel: model.transferLabel ?? ""
    readonly property string archivedLabel: model.summary && model.summary.archivedLabel ? model.summary.archivedLabel : ""
    readonly property string refreshTip: lastSyncText !== "" ? "Actualiser maintenant · " + lastSyncText : "Actualiser maintenant"

    function appear() {
        launchAtLogin.shown();
    }

    // Return presses the screen's one default button, the approval card's, when it is shown.
    function pressDefault() {
        if (approvalCard.visible)
            model.reactivate();
    }

    implicitHeight: column.implicitHeight
    Keys.onReturnPressed: pressDefault()
    Keys.onEnterPressed: pressDefault()

    ColumnLayout {
        id: column

        width: parent.width
        spacing: 14

        RowLayout {
            // In front of the rows below: the indicator's tooltip opens over them.
            z: 1
            spacing: 10
            Layout.fillWidth: true

            Image {
                source: Symbols.bundled("app-icon")
                sourceSize: Qt.size(30, 30)
                Layout.preferredWidth: 30
                Layout.preferredHeight: 30
                Accessible.ignored: true
            }
            ColumnLayout {
                objectName: "headerTexts"
                spacing: 1
                Layout.fillWidth: true
                Layout.minimumWidth: 0

                RowLayout {
                    spacing: 6

                    Text {
                        text: "Orvelan Nimbal"
                        color: Style.primary
                        font.pixelSize: Style.headline
                        font.weight: Font.DemiBold
                        Accessible.role: Accessible.Heading
                        Accessible.name: text
                    }
                    Text {
                        objectName: "versionLabel"
                        text: AppActions.shortVersion(root.model)
                        color: Style.secondary
                        font.pixelSize: Style.caption
                        font.family: Style.tabularDigitsFamily
                        Layout.alignment: Qt.AlignBaseline
                    }
                }
                Text {
                    objectName: "accountLabel"
                    visible: !!root.model.account
                    text: root.model.account ?? ""
                    color: Style.secondary
                    font.pixelSize: Style.caption
                    elide: Text.ElideMiddle
                    Layout.fillWidth: true
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
            LiveIndicator {
                objectName: "liveIndicator"
                status: root.model.liveStatus
                // The flexible space of at least 8 points, with the row's spacing on each side.
                Layout.leftMargin: 8 + 10
            }
        }

        ExtensionApprovalCard {
            id: approvalCard

            objectName: "approvalCard"
            visible: root.model.extensionNeedsApproval
            account: root.model.account ?? ""
            Layout.fillWidth: true
            onReactivate: root.model.reactivate()
        }

        Rectangle {
            objectName: "statusLine"
            implicitHeight: statusRow.implicitHeight + 16
            radius: Style.radius
            color: Style.tinted(Style.primary, 0.05)
            Layout.fillWidth: true

            RowLayout {
                id: statusRow

                anchors.fill: parent
                anchors.leftMargin: 10
                anchors.rightMargin: 10
                anchors.topMargin: 8
                anchors.bottomMargin: 8
                spacing: 8

                Spinner {
                    visible: root.transferLabel !== ""
                }
                SymbolIcon {
                    objectName: "statusSymbol"
                    visible: root.transferLabel === ""
                    // As the line reads: the approval first, then the pause.
                    symbol: root.model.extensionNeedsApproval ? "hourglass"
                          : root.model.syncPaused ? "pause.circle.fill" : "checkmark.circle.fill"
                    color: root.model.extensionNeedsApproval ? Style.orange
                         : root.model.syncPaused ? Style.secondary : Style.brandGreen
                    size: 14
                }
                Text {
                    objectName: "statusText"
                    text: root.transferLabel !== "" ? root.transferLabel : root.model.statusText
                    color: Style.primary
                    font.pixelSize: Style.callout
                    font.weight: Font.Medium
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
        }

        QuotaBar {
            objectName: "quotaBar"
            visible: !!root.model.quota
            quota: root.model.quota
            Layout.fillWidth: true
        }

        RowLayout {
            visible: root.archivedLabel !== ""
            spacing: 6
            Layout.fillWidth: true

            SymbolIcon {
                symbol: "archivebox"
                color: Style.secondary
                size: 12
                Layout.alignment: Qt.AlignTop
            }
            Text {
                text: root.archivedLabel
                color: Style.secondary
                font.pixelSize: Style.caption
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
        }

        UpdateBanner {
            objectName: "updateBanner"
            updater: root.updater
            Layout.fillWidth: true
        }

        ConflictBanner {
            objectName: "conflictBanner"
            visible: root.conflictText !== ""
            text: root.conflictText
            Layout.fillWidth: true
            onDismiss: root.model.dismissConflicts()
        }

        LaunchAtLoginBlock {
            id: launchAtLogin

            model: root.model
            Layout.fillWidth: true
        }

        Rectangle {
            implicitHeight: 1
            color: Style.tinted(Style.primary, 0.12)
            Layout.fillWidth: true
        }

        RowLayout {
            spacing: 2
            Layout.fillWidth: true

            IconButton {
                objectName: "refreshButton"
                systemImage: "arrow.clockwise"
                tip: root.refreshTip
                edge: Qt.AlignLeft
                busy: root.model.isSynchronizing
                onClicked: root.model.refreshNow()
            }
            IconButton {
                objectName: "folderButton"
                systemImage: "folder"
                tip: PlatformWords.openFolderTip
                edge: Qt.AlignLeft
                onClicked: root.model.openInFinder()
            }
            UpdateIconButton {
                updater: root.updater
                longVersion: AppActions.longVersion(root.model)
            }
            Item {
                Layout.fillWidth: true
            }
            IconButton {
                objectName: "signOutButton"
                systemImage: "rectangle.portrait.and.arrow.right"
                tip: "Se déconnecter"
                edge: Qt.AlignHCenter
                onClicked: root.model.signOut()
            }
            QuitButton {}
        }
    }
}
