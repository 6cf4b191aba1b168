// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import OrvelanNimbal.Panel

// Time left to answer the challenge, re-read every second. It only informs: a code sent late is
// refused by the service, and the model says so.
Text {
    id: countdown

    property date expiresAt
    // The time the text is computed for; a timer moves it on while the countdown is shown.
    property date now: new Date()
    property alias ticking: tick.running
    readonly property int remaining: Math.trunc((expiresAt.getTime() - now.getTime()) / 1000)

    text: remaining < 1 ? "Expiré" : "Expire dans %1:%2".arg(Math.trunc(remaining / 60)).arg(String(remaining % 60).padStart(2, "0"))
    color: remaining > 30 ? Style.secondary : Style.orange
    font.pixelSize: Style.caption
    font.family: Style.tabularDigitsFamily
    Accessible.role: Accessible.StaticText
    Accessible.name: text

    Timer {
        id: tick

        interval: 1000
        repeat: true
        running: countdown.visible
        onTriggered: countdown.now = new Date()
    }
}
