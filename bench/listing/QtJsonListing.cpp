// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtJsonListing.h"

#include "models/WireConversions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Bench {

using namespace OrvelanNimbal;

namespace {

bool present(const QJsonValue &value)
{
    return !value.isNull() && !value.isUndefined();
}

std::optional<QString> optionalString(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    return present(value) ? std::optional(value.toString()) : std::nullopt;
}

std::optional<qint64> optionalInteger(const QJsonObject &object, QLatin1StringView key)
{
    const QJsonValue value = object.value(key);
    return present(value) ? std::optional(value.toInteger()) : std::nullopt;
}

} // namespace

std::vector<DriveFile> filesWithQtJson(const QByteArray &json)
{
    const QJsonArray array = QJsonDocument::fromJson(json).array();
    std::vector<DriveFile> files;
    files.reserve(size_t(array.size()));
    for (const QJsonValue &element : array) {
        const QJsonObject object = element.toObject();
        FileDTO record;
        record.id = object.value(QLatin1StringView("id")).toInteger();
        record.idFolder = optionalInteger(object, QLatin1StringView("id_folder"));
        record.fileName = object.value(QLatin1StringView("file_name")).toString();
        record.filePath = optionalString(object, QLatin1StringView("file_path"));
        const QJsonValue size = object.value(QLatin1StringView("file_size"));
        if (present(size))
            record.fileSize = size.toDouble();
        record.contentHash = optionalString(object, QLatin1StringView("content_hash"));
        record.dateModified = optionalInteger(object, QLatin1StringView("date_modified"));
        record.dateUpload = optionalInteger(object, QLatin1StringView("date_upload"));
        record.toDelete = optionalInteger(object, QLatin1StringView("to_delete"));
        record.storageClass = optionalString(object, QLatin1StringView("storage_class"));
        record.thumbnailPath = optionalString(object, QLatin1StringView("file_miniatures_path"));
        files.push_back(fileFromWire(std::move(record)));
    }
    return files;
}

} // namespace Bench
