// SPDX-License-Identifier: GPL-3.0-or-later
#include "errors/DriveError.h"
#include "json/JsonValue_p.h"
#include "models/DriveModels.h"

#include <array>

namespace OrvelanNimbal {

bool DriveFile::isSynchronizable() const
{
    return !isTrashed && OrvelanNimbal::isSynchronizable(storageClass);
}

QStringList DriveFile::thumbnailKeys() const
{
    const QString text = thumbnailPath.value_or(QString()).trimmed();
    if (text.isEmpty())
        return {};
    if (!text.startsWith(u'['))
        return {text};
    // The service sends several sizes as a JSON array inside the string. Texts other than empty
    // ones are keys; anything else in the array is skipped; a string that is not such an array
    // offers none.
    QStringList keys;
    try {
        Json::parse(text.toUtf8(), [&](Json::Value &root) {
            root.forEachElement([&](Json::Value &element) {
                simdjson::ondemand::json_type type{};
                if (element.raw().type().get(type) != simdjson::SUCCESS
                    || type != simdjson::ondemand::json_type::string)
                    return;
                if (QString key = element.toString(); !key.isEmpty())
                    keys.append(std::move(key));
            });
        });
    } catch (const DriveError &) {
        return {};
    }
    return keys;
}

std::optional<QString> DriveFile::preferredThumbnailKey() const
{
    // Big enough for the Finder's previews without fetching the largest.
    static const std::array<QString, 3> preferredSizes{
        QStringLiteral("_256x256."), QStringLiteral("_1024x1024."), QStringLiteral("_64x64.")};
    const QStringList keys = thumbnailKeys();
    for (const QString &size : preferredSizes) {
        for (const QString &key : keys) {
            if (key.contains(size))
                return key;
        }
    }
    if (keys.isEmpty())
        return std::nullopt;
    return keys.first();
}

DriveFile DriveFile::with(const QString &newName, std::optional<qint64> newParentID) const
{
    DriveFile copy = *this;
    copy.name = newName;
    copy.parentFolderID = newParentID;
    return copy;
}

} // namespace OrvelanNimbal
