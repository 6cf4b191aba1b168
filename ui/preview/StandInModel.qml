// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import OrvelanNimbal.Panel.Preview

// The application model as the views see it, with an updater of the same kind: for drawing the
// views in chosen states (the screenshots) and for testing what they decide. PreviewModel says
// what can be set and how the operations record their calls.
PreviewModel {
    updater: StandInUpdater {}
}
