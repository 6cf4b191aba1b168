// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Amounts as the product writes them to the user, the French way: a decimal comma and a no-break
// space before the unit ("1,5 Go", "1 000 Go").
namespace OrvelanNimbal::AmountTexts {

// An amount of megabytes (the quota's unit) in gigabytes.
QString gigabytes(double megabytes, int decimals);
// A size in bytes in the largest unit under which it is at least 1: "0 octet", "512 octets",
// "1,5 Ko", "12,3 Mo", "2,0 Go" (binary multiples, as the quota).
QString size(qint64 bytes);

} // namespace OrvelanNimbal::AmountTexts
