// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick

// The updater as the views see it: a pending version and the version texts.
QtObject {
    property bool enabled: true
    property var pendingVersion: undefined
    property string shortVersion: "1.4"
    property string longVersion: "1.4 (27)"
    property int checks: 0

    function checkForUpdates() {
        checks += 1;
    }
}
