// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ItemStoreExport.h"

#include "Logging.h"
#include "models/ItemIdentifier.h"
#include "sync/ContentVersion.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace OrvelanNimbal::FileProvider {

namespace {

ItemIdentifier identifierOf(const ItemKey &key)
{
    return key.isFolder() ? ItemIdentifier::folder(key.id) : ItemIdentifier::file(key.id);
}

QJsonObject entryOf(const ItemRecord &record)
{
    const ItemIdentifier parent = record.remote.parentID > 0
                                      ? ItemIdentifier::folder(record.remote.parentID)
                                      : ItemIdentifier::root();
    QJsonObject entry{{QStringLiteral("id"), identifierOf(record.key).rawValue()},
                      {QStringLiteral("parent"), parent.rawValue()},
                      {QStringLiteral("date"), record.remote.modified}};
    if (!record.key.isFolder()) {
        DriveFile version;
        version.size = record.base.size;
        if (!record.base.contentHash.isEmpty())
            version.contentHash = record.base.contentHash;
        if (record.base.uploaded > 0)
            version.uploadTimestamp = record.base.uploaded;
        version.modifiedAt = QDateTime::fromSecsSinceEpoch(record.remote.modified, Qt::UTC);
        entry.insert(QStringLiteral("size"), record.base.size);
        entry.insert(QStringLiteral("hash"), record.base.contentHash);
        entry.insert(QStringLiteral("version"), ContentVersion::token(version));
    }
    return entry;
}

// The JSON text of a string value, escapes included.
QByteArray quoted(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.sliced(1, array.size() - 2);
}

} // namespace

QByteArray itemStoreJson(const ItemTable &items, std::optional<qint64> cursor)
{
    std::vector<const ItemRecord *> placed;
    for (const ItemRecord &record : items) {
        if (record.base.isOnDisk())
            placed.push_back(&record);
    }
    std::sort(placed.begin(), placed.end(), [](const ItemRecord *a, const ItemRecord *b) {
        return a->base.path < b->base.path;
    });
    // Written piece by piece: a hundred thousand entries never exist as one JSON tree.
    QByteArray json = "{\"version\":1,\"cursor\":";
    json += cursor ? QByteArray::number(*cursor) : QByteArrayLiteral("null");
    json += ",\"items\":{";
    bool first = true;
    for (const ItemRecord *record : placed) {
        if (!first)
            json += ',';
        first = false;
        json += quoted(record->base.path);
        json += ':';
        json += QJsonDocument(entryOf(*record)).toJson(QJsonDocument::Compact);
    }
    json += "}}";
    return json;
}

void writeItemStore(const std::optional<QUrl> &file, const ItemTable &items,
                    std::optional<qint64> cursor)
{
    if (!file)
        return;
    QSaveFile store(file->toLocalFile());
    if (store.open(QIODevice::WriteOnly)) {
        store.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        store.write(itemStoreJson(items, cursor));
        if (store.commit())
            return;
    }
    qCWarning(logExtension).noquote()
        << QStringLiteral("Magasin d'éléments non écrit : %1").arg(store.errorString());
}

} // namespace OrvelanNimbal::FileProvider
