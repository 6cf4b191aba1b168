// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Layouts
import OrvelanNimbal.App
import OrvelanNimbal.Panel

// The panel's root: exactly one of three screens, chosen by the model's status. Each screen is a
// branch of its own, so what the user typed lives exactly as long as its branch stays chosen:
// the sign-in form survives signedOut, connecting and failed, and starts afresh after a
// two-factor step.
FocusScope {
    id: root

    required property AppModel model
    readonly property int kind: model.status.kind
    // One screen per branch; a branch keeps its local state for as long as it stays chosen.
    readonly property string branch: kind === AppStatus.TwoFactor ? "twoFactor" : kind === AppStatus.Ready ? "status" : "signIn"
    readonly property Item screen: loader.item

    // The panel was opened (again): the screen does what it does on appearance.
    function appear() {
        if (screen)
            screen.appear();
    }

    implicitWidth: Style.panelWidth
    implicitHeight: loader.implicitHeight + 2 * Style.panelPadding
    width: Style.panelWidth

    Loader {
        id: loader

        x: Style.panelPadding
        y: Style.panelPadding
        width: parent.width - 2 * Style.panelPadding
        focus: true
        sourceComponent: root.branch === "twoFactor" ? twoFactor : root.branch === "status" ? status : signIn
        onLoaded: item.appear()
    }

    Component {
        id: signIn

        SignInView {
            model: root.model
        }
    }
    Component {
        id: twoFactor

        TwoFactorView {
            model: root.model
            challenge: root.model.status.challenge
        }
    }
    Component {
        id: status

        StatusView {
            model: root.model
        }
    }
}
