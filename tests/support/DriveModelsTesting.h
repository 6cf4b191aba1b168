// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Readable failures for the drive's models in QCOMPARE, and a compact way to write them.

#include "models/DriveModels.h"

#include <QTest>

#include <functional>

namespace OrvelanNimbal {

inline char *toString(const DriveFile &file)
{
    const auto optional = [](const auto &value) {
        if constexpr (std::is_same_v<std::decay_t<decltype(*value)>, QString>)
            return value ? u'"' + *value + u'"' : QStringLiteral("-");
        else
            return value ? QString::number(*value) : QStringLiteral("-");
    };
    return QTest::toString(
        QStringLiteral("{id %1, parent %2, name \"%3\", key \"%4\", size %5, hash %6, "
                       "modified %7, trashed %8, class %9, thumbnails %10, uploaded %11}")
            .arg(QString::number(file.id), optional(file.parentFolderID), file.name,
                 file.storageKey, QString::number(file.size), optional(file.contentHash),
                 file.modifiedAt.toString(Qt::ISODateWithMs), QString::number(file.isTrashed),
                 rawValue(file.storageClass), optional(file.thumbnailPath),
                 optional(file.uploadTimestamp)));
}

namespace Testing {

// An instant from seconds since 1970, in UTC as the conversions give it.
inline QDateTime utc(qint64 secondsSince1970)
{
    return QDateTime::fromSecsSinceEpoch(secondsSince1970, Qt::UTC);
}

// The item a record {"id": id, <name key>: name} becomes, changed by `change`.
template <class Item>
Item driveItem(qint64 id, const QString &name, const std::function<void(Item &)> &change)
{
    Item item;
    item.id = id;
    item.name = name;
    item.modifiedAt = utc(0);
    if (change)
        change(item);
    return item;
}

inline DriveFile driveFile(qint64 id, const QString &name,
                           const std::function<void(DriveFile &)> &change = {})
{
    return driveItem(id, name, change);
}

inline DriveFolder driveFolder(qint64 id, const QString &name,
                               const std::function<void(DriveFolder &)> &change = {})
{
    return driveItem(id, name, change);
}

} // namespace Testing

} // namespace OrvelanNimbal
