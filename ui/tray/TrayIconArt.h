// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

namespace OrvelanNimbal::Panel {

// The tray icon: our drive glyph, light on a dark desktop and dark on a light one, so that it
// reads like the panel it opens.
QIcon trayIcon(bool dark);

// Whether the desktop's palette is a dark one (the same rule the panel's Style applies).
bool desktopIsDark();

} // namespace OrvelanNimbal::Panel
