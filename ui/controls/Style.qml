// SPDX-License-Identifier: GPL-3.0-or-later
pragma Singleton
import QtQuick

// Every size and colour of the panel. Colours follow the desktop's palette (light or dark) so the
// panel reads like the rest of the desktop; the brand colour is the one fixed hue.
QtObject {
    id: style

    readonly property SystemPalette palette: SystemPalette {
        colorGroup: SystemPalette.Active
    }
    readonly property bool dark: palette.window.hslLightness < 0.5

    readonly property color brandGreen: Qt.rgba(94 / 255, 166 / 255, 89 / 255, 1)
    readonly property color primary: palette.windowText
    readonly property color secondary: tinted(primary, dark ? 0.55 : 0.5)
    readonly property color windowBackground: palette.window
    readonly property color orange: dark ? "#ff9f0a" : "#ff9500"
    readonly property color red: dark ? "#ff453a" : "#ff3b30"

    readonly property real radiusSmall: 6 // icon buttons, tooltips
    readonly property real radius: 8 // fields, buttons, banners, the status line
    readonly property real radiusCard: 10 // cards
    readonly property real hairline: 0.5
    readonly property real focusWidth: 1.5

    // Font roles, in pixels at 1×.
    readonly property int title3: 15
    readonly property int headline: 13
    readonly property int body: 13
    readonly property int callout: 12
    readonly property int caption: 11
    readonly property int caption2: 10
    // Versions and the countdown: a family whose figures all have one width (tabular), so that
    // a ticking counter never shifts. Qt 6.4 has no switch for a font's tabular-figure feature,
    // and the desktops' own interface fonts may have proportional ones.
    readonly property string tabularDigitsFamily: "DejaVu Sans"

    readonly property int panelWidth: 320
    readonly property int panelPadding: 16

    function tinted(base, opacity) {
        const c = Qt.color(base);
        return Qt.rgba(c.r, c.g, c.b, c.a * opacity);
    }
}
