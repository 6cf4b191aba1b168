// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/PauseText.h"

#include <QLocale>

namespace OrvelanNimbal {

QString pauseText(const std::optional<QDateTime> &until, const QDateTime &now)
{
    if (!until)
        return QStringLiteral("Synchronisation en pause");
    const QDateTime local = until->toLocalTime();
    const QString time = local.toString(QStringLiteral("HH:mm"));
    if (local.date() == now.toLocalTime().date())
        return QStringLiteral("Synchronisation en pause jusqu'à %1").arg(time);
    return QStringLiteral("Synchronisation en pause jusqu'au %1 à %2")
        .arg(QLocale(QLocale::French, QLocale::France).toString(local.date(), u"d MMMM"), time);
}

} // namespace OrvelanNimbal
