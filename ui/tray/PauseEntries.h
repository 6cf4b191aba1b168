// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QMenu;

namespace OrvelanNimbal {
class PanelModel;
}

namespace OrvelanNimbal::Panel {

// Adds "Mettre en pause la synchronisation" and "Reprendre la synchronisation" to the tray's
// menu, then a separator: each time the menu opens, the one that applies shows while an account
// is signed in, and neither otherwise. `model` outlives the menu.
void addPauseEntries(QMenu &menu, PanelModel &model);

} // namespace OrvelanNimbal::Panel
