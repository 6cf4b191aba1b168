// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace OrvelanNimbal::Panel {

// Password fields for assistive technologies: a text field of the views that declares
// `readonly property bool masksAccessibleText: true` is shown as a password field whose text
// no accessible interface ever hands out (Qt Quick's own gives the typed text in clear to any
// client that asks). It keeps its name, role, states, actions and place in the tree.
// Call once, before the first window is made.
void installMaskedFieldAccessibility();

} // namespace OrvelanNimbal::Panel
