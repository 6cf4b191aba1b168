// SPDX-License-Identifier: GPL-3.0-or-later
// The summary's file: its JSON form, reading it back, and replacing it atomically.
#include "json/JsonValue_p.h"
#include "errors/DriveError.h"
#include "sync/DomainSummary.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace OrvelanNimbal {

namespace {

// The file's dates count from 2001-01-01 00:00:00 UTC, the extension's reference date.
constexpr qint64 referenceDateMSecsSinceEpoch = 978307200000;
// Beyond this a date cannot be an instant (QDateTime reaches about 292 million years).
constexpr double furthestSecondsFromReference = 9e12;

double secondsSinceReference(const QDateTime &date)
{
    return double(date.toMSecsSinceEpoch() - referenceDateMSecsSinceEpoch) / 1000;
}

} // namespace

template <>
struct Json::Decoder<DomainSummary::Conflict> {
    static DomainSummary::Conflict decode(Value &value)
    {
        std::optional<QString> originalName, copyName;
        std::optional<double> seconds;
        value.forEachField([&](std::string_view key, Value &field) {
            if (key == "originalName") {
                originalName = field.toString();
            } else if (key == "copyName") {
                copyName = field.toString();
            } else if (key == "date") {
                seconds = field.toNumber();
                if (std::abs(*seconds) > furthestSecondsFromReference)
                    field.fail(QStringLiteral("date hors limites"));
            }
        });
        if (!originalName)
            value.missingKey("originalName");
        if (!copyName)
            value.missingKey("copyName");
        if (!seconds)
            value.missingKey("date");
        const qint64 msecs = qRound64(*seconds * 1000) + referenceDateMSecsSinceEpoch;
        return {*originalName, *copyName, QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC)};
    }
};

template <>
struct Json::Decoder<DomainSummary> {
    static DomainSummary decode(Value &value)
    {
        DomainSummary summary;
        value.forEachField([&](std::string_view key, Value &field) {
            if (key == "archivedFileIDs" && !field.isNull()) {
                field.forEachElement(
                    [&](Value &element) { summary.archivedFileIDs.insert(element.toInt64()); });
            } else if (key == "conflicts" && !field.isNull()) {
                field.forEachElement([&](Value &element) {
                    summary.conflicts.append(element.as<DomainSummary::Conflict>());
                });
            }
        });
        return summary;
    }
};

QByteArray DomainSummary::toJson() const
{
    // Sorted, so that the same summary always makes the same file.
    QList<qint64> ids(archivedFileIDs.begin(), archivedFileIDs.end());
    std::sort(ids.begin(), ids.end());
    QJsonArray idArray;
    for (qint64 id : ids)
        idArray.append(QJsonValue(id));
    QJsonArray conflictArray;
    for (const Conflict &conflict : conflicts) {
        conflictArray.append(
            QJsonObject{{QStringLiteral("originalName"), conflict.originalName},
                        {QStringLiteral("copyName"), conflict.copyName},
                        {QStringLiteral("date"), secondsSinceReference(conflict.date)}});
    }
    const QJsonObject root{{QStringLiteral("archivedFileIDs"), idArray},
                           {QStringLiteral("conflicts"), conflictArray}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

DomainSummary DomainSummary::fromJson(const QByteArray &json)
{
    return Json::decode<DomainSummary>(json);
}

std::optional<DomainSummary> DomainSummary::load(const std::optional<QUrl> &from)
{
    if (!from)
        return std::nullopt;
    QFile file(from->toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    try {
        return fromJson(bytes);
    } catch (const DriveError &) {
        return std::nullopt;
    }
}

void DomainSummary::save(const std::optional<QUrl> &to) const
{
    if (!to)
        return;
    // Written beside the old file, flushed to disk, then renamed over it: the application, which
    // reads this file at any moment, sees the old summary or the new one, never a part.
    QSaveFile file(to->toLocalFile());
    if (!file.open(QIODevice::WriteOnly))
        return;
    // What the drive holds is the user's business alone.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(toJson());
    file.commit(); // on failure the temporary file goes and the old one stays
}

} // namespace OrvelanNimbal
