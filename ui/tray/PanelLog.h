// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

namespace OrvelanNimbal::Panel {

// The panel and its tray icon: "net.orvelan.nimbal.sync.panel".
Q_DECLARE_LOGGING_CATEGORY(panelLog)

} // namespace OrvelanNimbal::Panel
