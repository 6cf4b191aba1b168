// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Readable failures for the drive's models in QCOMPARE, and a compact way to write them.

#include "models/DriveModels.h"

#include <QTest>

#include <functional>

namespace OrvelanNimbal {

inline QString describe(const DriveFile &file)
{
    const auto optional = [](const auto &value) {
        if constexpr (std::is_same_v<std::decay_t<decltype(*value)>, QString>)
            return value ? u'"' + *value + u'"' : QStringLiteral("-");
        else
            return value ? QString::number(*value) : QStringLiteral("-");
    };
    return QStringLiteral("{id %1, parent %2, name \"%3\", key \"%4\", size %5, hash %6, "
                          "modified %7, trashed %8, class %9, thumbnails %10, uploaded %11}")
        .arg(file.id)
        .arg(optional(file.parentFolderID), file.name, file.storageKey)
        .arg(file.size)
        .arg(optional(file.contentHash), file.modifiedAt.toString(Qt::ISODateWithMs))
        .arg(file.isTrashed)
        .arg(rawValue(file.storageClass), optional(file.thumbnailPath),
             optional(file.uploadTimestamp));
}

inline char *toString(const DriveFile &file)
{
    return QTest::toString(describe(file));
}

namespace Testing {

// An instant from seconds since 1970, in UTC as the conversions give it.
inline QDateTime utc(qint64 secondsSince1970)
{
    return QDateTime::fromSecsSinceEpoch(secondsSince1970, Qt::UTC);
}

// The file a record {"id": id, "file_name": name} becomes, changed by `change`.
inline DriveFile driveFile(qint64 id, const QString &name,
                           const std::function<void(DriveFile &)> &change = {})
{
    DriveFile file;
    file.id = id;
    file.name = name;
    file.modifiedAt = utc(0);
    if (change)
        change(file);
    return file;
}

inline DriveFolder driveFolder(qint64 id, const QString &name,
                               const std::function<void(DriveFolder &)> &change = {})
{
    DriveFolder folder;
    folder.id = id;
    folder.name = name;
    folder.modifiedAt = utc(0);
    if (change)
        change(folder);
    return folder;
}

} // namespace Testing

} // namespace OrvelanNimbal
