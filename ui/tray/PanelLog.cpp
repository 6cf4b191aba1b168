// SPDX-License-Identifier: GPL-3.0-or-later
#include "PanelLog.h"

namespace OrvelanNimbal::Panel {

Q_LOGGING_CATEGORY(panelLog, "net.orvelan.nimbal.sync.panel", QtInfoMsg)

} // namespace OrvelanNimbal::Panel
