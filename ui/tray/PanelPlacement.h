// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace OrvelanNimbal::Panel {

// Where the panel opens: next to the tray icon — below it when the icon sits in the upper half
// of the screen (a top bar), above it otherwise — centred on the icon, and kept inside the
// screen's available area. `icon` may be a point (where the click was) when the tray host does
// not say where its icon is.
QPoint panelPosition(const QRect &icon, const QSize &panel, const QRect &available);

} // namespace OrvelanNimbal::Panel
