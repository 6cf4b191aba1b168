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
    // "1er avril", as French writes the first of a month; "6 mars" otherwise.
    const QDate day = local.date();
    const QString month = QLocale(QLocale::French, QLocale::France).monthName(day.month());
    const QString date = day.day() == 1 ? QStringLiteral("1er ") + month
                                        : QString::number(day.day()) + u' ' + month;
    return QStringLiteral("Synchronisation en pause jusqu'au %1 à %2").arg(date, time);
}

} // namespace OrvelanNimbal
