// SPDX-License-Identifier: GPL-3.0-or-later
pragma Singleton
import QtQuick

// The two application-level things every screen may offer: quitting, and the version texts.
QtObject {
    function quit() {
        Qt.quit();
    }

    function shortVersion(model) {
        return model && model.updater ? model.updater.shortVersion : "?";
    }

    function longVersion(model) {
        return model && model.updater ? model.updater.longVersion : "? (?)";
    }
}
