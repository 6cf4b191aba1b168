// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <compare>
#include <optional>

namespace OrvelanNimbal {

// A release's version: whole numbers separated by dots ("1.4", "1.10.2"). Versions compare
// component by component as numbers, so "1.10" comes after "1.9", and missing components count
// as zeros, so "1.2" and "1.2.0" are the same release.
class UpdateVersion {
public:
    // Nothing for anything else than dot-separated decimal numbers (surrounding spaces aside).
    static std::optional<UpdateVersion> parse(QStringView text);

    // As written in the feed or the build.
    const QString &text() const { return m_text; }

    friend std::strong_ordering operator<=>(const UpdateVersion &a, const UpdateVersion &b);
    friend bool operator==(const UpdateVersion &a, const UpdateVersion &b)
    {
        return (a <=> b) == std::strong_ordering::equal;
    }

private:
    QString m_text;
    QList<quint64> m_components;
};

} // namespace OrvelanNimbal
