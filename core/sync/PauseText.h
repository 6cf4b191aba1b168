// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace OrvelanNimbal {

// The status line of a paused synchronisation, the same in the panel and in the terminal:
// "Synchronisation en pause", "… jusqu'à 14:05", or "… jusqu'au 7 décembre à 09:00" when its end
// is not today (local time).
QString pauseText(const std::optional<QDateTime> &until, const QDateTime &now);

} // namespace OrvelanNimbal
