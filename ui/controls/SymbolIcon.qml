// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls.impl
import OrvelanNimbal.Panel

// One of the panel's icons at a point size, drawn in one colour: the user's theme icon when the
// theme has it, our own glyph otherwise.
IconImage {
    id: icon

    property string symbol
    property real size: 14

    name: Symbols.themeName(symbol)
    source: Symbols.bundled(symbol)
    color: Style.primary
    sourceSize: Qt.size(size, size)
    fillMode: Image.PreserveAspectFit
    Accessible.ignored: true
}
