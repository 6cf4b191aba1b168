// SPDX-License-Identifier: GPL-3.0-or-later
#include "PanelPlacement.h"

#include <algorithm>

namespace OrvelanNimbal::Panel {

namespace {

// Room between the icon and the panel, as between a menu and the bar it drops from.
constexpr int gap = 4;

int keptWithin(int start, int length, int areaStart, int areaLength)
{
    return std::clamp(start, areaStart, std::max(areaStart, areaStart + areaLength - length));
}

} // namespace

QPoint panelPosition(const QRect &icon, const QSize &panel, const QRect &available)
{
    const bool iconInUpperHalf = icon.center().y() < available.center().y();
    const int y = iconInUpperHalf ? std::max(icon.bottom() + 1, available.top()) + gap
                                  : std::min(icon.top(), available.bottom() + 1) - gap
                                        - panel.height();
    const int x = icon.center().x() - panel.width() / 2;
    return {keptWithin(x, panel.width(), available.left(), available.width()),
            keptWithin(y, panel.height(), available.top(), available.height())};
}

} // namespace OrvelanNimbal::Panel
