// SPDX-License-Identifier: GPL-3.0-or-later
pragma Singleton
import QtQuick

// How the views read the model's status: its kind, in the order the model declares them, and
// the screen each kind shows.
QtObject {
    readonly property int signedOut: 0
    readonly property int connecting: 1
    readonly property int ready: 2
    readonly property int twoFactor: 3
    readonly property int failed: 4

    function kind(model) {
        return model && model.status ? model.status.kind : signedOut;
    }

    // One screen per branch; a branch keeps its local state for as long as it stays chosen.
    function branch(kind) {
        if (kind === twoFactor)
            return "twoFactor";
        if (kind === ready)
            return "status";
        return "signIn";
    }
}
