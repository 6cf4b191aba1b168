// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick

// The application model as the views see it, for drawing the views in chosen states (the
// screenshots) and for testing what they decide: its properties, and operations that only record
// their calls. submitCode marks itself verifying at once, as the model does before it awaits.
QtObject {
    id: model

    property var status: ({
            "kind": 0,
            "message": "",
            "challenge": null
        })
    property string account: ""
    property string lastEmail: ""
    property string twoFactorError: ""
    property bool isVerifying: false
    property bool launchAtLogin: false
    property bool launchAtLoginNeedsApproval: false
    property bool extensionNeedsApproval: false
    property var quota: undefined
    property bool isSynchronizing: false
    property var summary: undefined
    property var liveStatus: undefined
    property string transferLabel: ""
    property string statusText: "Nimbal à jour"
    property string lastSyncText: ""
    property string conflictText: ""
    property QtObject updater: StandInUpdater {}
    property var calls: []

    function record(name, args) {
        calls = calls.concat([{
                    "name": name,
                    "args": args
                }]);
    }
    function callsOf(name) {
        return calls.filter(c => c.name === name);
    }

    function setStatus(kind, message, challenge) {
        status = {
            "kind": kind,
            "message": message ?? "",
            "challenge": challenge ?? null
        };
    }

    function signIn(email, password) {
        record("signIn", [email, password]);
    }
    function submitCode(challenge, useRecovery, code, rememberDevice) {
        record("submitCode", [challenge, useRecovery, code, rememberDevice]);
        isVerifying = true;
    }
    function cancelTwoFactor() {
        record("cancelTwoFactor", []);
        twoFactorError = "";
        setStatus(0);
    }
    function signOut() {
        record("signOut", []);
    }
    function refreshNow() {
        record("refreshNow", []);
    }
    function openInFinder() {
        record("openInFinder", []);
    }
    function dismissConflicts() {
        record("dismissConflicts", []);
    }
    function setLaunchAtLogin(enabled) {
        record("setLaunchAtLogin", [enabled]);
    }
    function refreshLaunchAtLogin() {
        record("refreshLaunchAtLogin", []);
    }
    function openSettings() {
        record("openSettings", []);
    }
    function reactivate() {
        record("reactivate", []);
    }
}
