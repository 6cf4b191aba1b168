// SPDX-License-Identifier: GPL-3.0-or-later
#include "models/AmountTexts.h"

#include <QLocale>

namespace OrvelanNimbal::AmountTexts {

namespace {

const QLocale &french()
{
    static const QLocale locale(QLocale::French, QLocale::France);
    return locale;
}

} // namespace

QString gigabytes(double megabytes, int decimals)
{
    return french().toString(megabytes / 1024, 'f', decimals) + QStringLiteral("\u00A0Go");
}

QString size(qint64 bytes)
{
    if (bytes < 1024)
        return french().toString(bytes)
               + (bytes > 1 ? QStringLiteral("\u00A0octets") : QStringLiteral("\u00A0octet"));
    static const char *const units[] = {"Ko", "Mo", "Go", "To"};
    double amount = double(bytes) / 1024;
    int unit = 0;
    while (amount >= 1024 && unit < 3) {
        amount /= 1024;
        ++unit;
    }
    return french().toString(amount, 'f', 1) + u'\u00A0' + QLatin1String(units[unit]);
}

} // namespace OrvelanNimbal::AmountTexts
