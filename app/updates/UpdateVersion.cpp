// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/UpdateVersion.h"

#include <algorithm>

namespace OrvelanNimbal {

std::optional<UpdateVersion> UpdateVersion::parse(QStringView text)
{
    UpdateVersion version;
    version.m_text = text.trimmed().toString();
    for (const QStringView piece : QStringView(version.m_text).split(u'.')) {
        // toULongLong would take a sign or spaces; a version component is digits only.
        const bool digitsOnly = !piece.isEmpty()
                                && std::all_of(piece.begin(), piece.end(),
                                               [](QChar c) { return c >= u'0' && c <= u'9'; });
        bool ok = false;
        const quint64 component = digitsOnly ? piece.toULongLong(&ok) : 0;
        if (!ok)
            return std::nullopt;
        version.m_components.append(component);
    }
    return version;
}

std::strong_ordering operator<=>(const UpdateVersion &a, const UpdateVersion &b)
{
    const qsizetype count = std::max(a.m_components.size(), b.m_components.size());
    for (qsizetype i = 0; i < count; ++i) {
        const auto order = a.m_components.value(i, 0) <=> b.m_components.value(i, 0);
        if (order != std::strong_ordering::equal)
            return order;
    }
    return std::strong_ordering::equal;
}

} // namespace OrvelanNimbal
