// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextRules.h"

#include "models/AmountTexts.h"

namespace OrvelanNimbal::Panel {

namespace {

// Spaces of any kind (the Unicode space separators) and tabs; not line breaks.
bool isBlank(char32_t c)
{
    return c == U'\t' || QChar::category(c) == QChar::Separator_Space;
}

} // namespace

QString TextRules::numbersOnly(const QString &text, int limit)
{
    QString kept;
    int count = 0;
    for (const char32_t c : text.toUcs4()) {
        if (count == limit)
            break;
        if (QChar::isNumber(c)) {
            kept += QString::fromUcs4(&c, 1);
            ++count;
        }
    }
    return kept;
}

int TextRules::characterCount(const QString &text)
{
    return int(text.toUcs4().size());
}

QString TextRules::trimmedSpaces(const QString &text)
{
    // Every space separator and the tab lie in the basic plane: no surrogate is one.
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first].unicode()))
        ++first;
    while (last > first && isBlank(text[last - 1].unicode()))
        --last;
    return text.sliced(first, last - first);
}

QString TextRules::gigabytes(double megabytes, int decimals)
{
    return AmountTexts::gigabytes(megabytes, decimals);
}

} // namespace OrvelanNimbal::Panel
