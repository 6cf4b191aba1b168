// SPDX-License-Identifier: GPL-3.0-or-later
pragma Singleton
import QtQuick

// The live stream's status kinds, in the order the stream declares them.
QtObject {
    readonly property int disconnected: 0
    readonly property int connected: 1
    readonly property int unauthorized: 2
}
