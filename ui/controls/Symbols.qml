// SPDX-License-Identifier: GPL-3.0-or-later
pragma Singleton
import QtQuick

// The panel's icons, named as the views name them, each mapped to the freedesktop icon the
// user's theme draws and to a glyph of ours used when the theme has none.
QtObject {
    readonly property var themeNames: ({
            "archivebox": "package-x-generic-symbolic",
            "arrow.clockwise": "view-refresh-symbolic",
            "arrow.down.circle": "folder-download-symbolic",
            "arrow.down.circle.fill": "software-update-available-symbolic",
            "arrow.up.forward.app": "system-run-symbolic",
            "checkmark": "object-select-symbolic",
            "checkmark.circle": "emblem-default-symbolic",
            "checkmark.circle.fill": "emblem-ok-symbolic",
            "chevron.left": "go-previous-symbolic",
            "envelope": "mail-unread-symbolic",
            "exclamationmark.circle.fill": "dialog-error-symbolic",
            "exclamationmark.triangle.fill": "dialog-warning-symbolic",
            "externaldrive.badge.icloud": "",
            "eye": "view-reveal-symbolic",
            "eye.slash": "view-conceal-symbolic",
            "folder": "folder-symbolic",
            "hourglass": "preferences-system-time-symbolic",
            "key": "dialog-password-symbolic",
            "lock": "changes-prevent-symbolic",
            "lock.shield.fill": "security-high-symbolic",
            "pause.circle.fill": "media-playback-pause-symbolic",
            "person.badge.key.fill": "avatar-default-symbolic",
            "power": "system-shutdown-symbolic",
            "rectangle.portrait.and.arrow.right": "system-log-out-symbolic",
            "switch.2": "emblem-system-symbolic",
            "xmark": "window-close-symbolic"
        })

    // Our own glyphs live beside the views, one SVG per name.
    readonly property string bundledFolder: "qrc:/qt/qml/OrvelanNimbal/Panel/icons/"

    // The theme icon's name; empty for a name without one (the brand's own marks).
    function themeName(symbol) {
        return themeNames[symbol] ?? "";
    }

    function bundled(symbol) {
        return symbol ? bundledFolder + symbol + ".svg" : "";
    }
}
