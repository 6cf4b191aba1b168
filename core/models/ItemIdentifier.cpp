// SPDX-License-Identifier: GPL-3.0-or-later
#include "models/ItemIdentifier.h"

#include <limits>

namespace OrvelanNimbal {

const QString ItemIdentifier::rootRawValue =
    QStringLiteral("NSFileProviderRootContainerItemIdentifier");

namespace {

// A decimal signed 64-bit integer filling the whole text: an optional sign, then ASCII digits.
// Stricter than QString::toLongLong, which would accept surrounding white space.
std::optional<qint64> wholeDecimal(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    // Accumulated as a negative number, whose range reaches one further than the positive one.
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    qint64 value = 0;
    for (QChar character : text) {
        if (character < u'0' || character > u'9')
            return std::nullopt;
        const int digit = character.unicode() - u'0';
        if (value < (lowest + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    if (value == lowest)
        return std::nullopt;
    return -value;
}

} // namespace

ItemIdentifier ItemIdentifier::folder(std::optional<qint64> parentID)
{
    if (!parentID || *parentID < 1)
        return root();
    return folder(*parentID);
}

std::optional<ItemIdentifier> ItemIdentifier::fromRawValue(QStringView text)
{
    if (text == rootRawValue)
        return root();
    if (text.startsWith(u"f:")) {
        if (const auto id = wholeDecimal(text.sliced(2)))
            return file(*id);
        return std::nullopt;
    }
    if (text.startsWith(u"d:")) {
        if (const auto id = wholeDecimal(text.sliced(2)))
            return folder(*id);
    }
    return std::nullopt;
}

QString ItemIdentifier::rawValue() const
{
    switch (m_kind) {
    case Kind::file:
        return QStringLiteral("f:") + QString::number(m_id);
    case Kind::folder:
        return QStringLiteral("d:") + QString::number(m_id);
    case Kind::root:
        return rootRawValue;
    }
    Q_UNREACHABLE();
}

std::optional<qint64> ItemIdentifier::serverFolderID() const
{
    if (m_kind == Kind::folder)
        return m_id;
    return std::nullopt;
}

size_t qHash(const ItemIdentifier &identifier, size_t seed) noexcept
{
    switch (identifier.kind()) {
    case ItemIdentifier::Kind::root:
        return qHashMulti(seed, 0);
    case ItemIdentifier::Kind::file:
        return qHashMulti(seed, 1, identifier.id());
    case ItemIdentifier::Kind::folder:
        return qHashMulti(seed, 2, identifier.id());
    }
    Q_UNREACHABLE();
}

} // namespace OrvelanNimbal
