// SPDX-License-Identifier: GPL-3.0-or-later
#include "Durations.h"

#include <limits>

namespace OrvelanNimbal::CommandLine {

std::optional<std::chrono::seconds> parseDuration(const QString &text)
{
    static constexpr struct {
        char16_t unit;
        qint64 seconds;
    } units[] = {{u'd', 86400}, {u'h', 3600}, {u'm', 60}, {u's', 1}};
    // A year of seconds is more than any pause or wait needs, and far from overflowing.
    constexpr qint64 longest = 366 * 86400;
    bool ok = false;
    if (const qint64 plain = text.toLongLong(&ok); ok && !text.startsWith(u'+'))
        return plain > 0 && plain <= longest ? std::optional(std::chrono::seconds(plain))
                                             : std::nullopt;
    qint64 total = 0;
    qsizetype position = 0;
    size_t nextUnit = 0;
    while (position < text.size()) {
        qsizetype end = position;
        while (end < text.size() && text[end] >= u'0' && text[end] <= u'9')
            ++end;
        if (end == position || end == text.size() || end - position > 9)
            return std::nullopt;
        const qint64 amount = text.mid(position, end - position).toLongLong();
        while (nextUnit < std::size(units) && units[nextUnit].unit != text[end].unicode())
            ++nextUnit;
        if (nextUnit == std::size(units))
            return std::nullopt;
        total += amount * units[nextUnit].seconds;
        ++nextUnit;
        position = end + 1;
        if (total > longest)
            return std::nullopt;
    }
    return total > 0 ? std::optional(std::chrono::seconds(total)) : std::nullopt;
}

} // namespace OrvelanNimbal::CommandLine
