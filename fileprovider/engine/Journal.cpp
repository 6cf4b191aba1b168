// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Journal.h"

#include <QFile>

namespace OrvelanNimbal::FileProvider {

namespace {

constexpr qint64 schemaVersion = 1;

const char *const schema = R"sql(
CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS items (
    kind INTEGER NOT NULL, id INTEGER NOT NULL,
    parent INTEGER NOT NULL, name TEXT NOT NULL, size INTEGER NOT NULL, hash TEXT NOT NULL,
    uploaded INTEGER NOT NULL, modified INTEGER NOT NULL, class TEXT NOT NULL,
    present INTEGER NOT NULL,
    path TEXT NOT NULL, local_size INTEGER NOT NULL, local_hash TEXT NOT NULL,
    local_uploaded INTEGER NOT NULL, mtime_ns INTEGER NOT NULL, inode INTEGER NOT NULL,
    skipped TEXT NOT NULL,
    PRIMARY KEY (kind, id)) WITHOUT ROWID;
)sql";

const char *const cursorKey = "cursor";
const char *const folderKey = "folder";

} // namespace

Journal::Journal(const QString &path)
    : m_db(path)
{
    // Who has what on their drive is the user's business alone.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    m_db.exec(schema);
    auto version = m_db.prepare("SELECT value FROM meta WHERE key = 'schema'");
    if (!version.step()) {
        m_db.prepare("INSERT INTO meta (key, value) VALUES ('schema', ?)")
            .bind(1, QString::number(schemaVersion))
            .run();
    } else if (version.text(0).toLongLong() != schemaVersion) {
        throw JournalError(QStringLiteral("Journal de synchronisation d'une version inconnue (%1)")
                               .arg(version.text(0)));
    }
}

Journal::Contents Journal::load()
{
    Contents contents;
    auto meta = m_db.prepare("SELECT key, value FROM meta");
    while (meta.step()) {
        const QString key = meta.text(0);
        if (key == QLatin1String(cursorKey))
            contents.cursor = meta.text(1).toLongLong();
        else if (key == QLatin1String(folderKey))
            contents.folderID = meta.text(1);
    }
    auto rows = m_db.prepare(
        "SELECT kind, id, parent, name, size, hash, uploaded, modified, class, present, path,"
        " local_size, local_hash, local_uploaded, mtime_ns, inode, skipped FROM items");
    while (rows.step()) {
        ItemRecord record;
        record.key = {ItemKind(rows.int64(0)), rows.int64(1)};
        record.remote.parentID = rows.int64(2);
        record.remote.name = rows.text(3);
        record.remote.size = rows.int64(4);
        record.remote.contentHash = rows.text(5);
        record.remote.uploaded = rows.int64(6);
        record.remote.modified = rows.int64(7);
        record.remote.storageClass = storageClassFromServerValue(rows.text(8));
        record.remote.present = rows.int64(9) != 0;
        record.local.path = rows.text(10);
        record.local.size = rows.int64(11);
        record.local.contentHash = rows.text(12);
        record.local.uploaded = rows.int64(13);
        record.local.mtimeNs = rows.int64(14);
        record.local.inode = quint64(rows.int64(15));
        record.skipped = rows.text(16);
        contents.items.insert(record.key, record);
    }
    return contents;
}

void Journal::commit(const Batch &batch)
{
    if (batch.isEmpty())
        return;
    m_db.exec("BEGIN IMMEDIATE");
    try {
        auto put = m_db.prepare(
            "INSERT OR REPLACE INTO items (kind, id, parent, name, size, hash, uploaded, modified,"
            " class, present, path, local_size, local_hash, local_uploaded, mtime_ns, inode,"
            " skipped) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        auto remove = m_db.prepare("DELETE FROM items WHERE kind = ? AND id = ?");
        for (const auto &change : batch.m_changes) {
            if (const auto *key = std::get_if<ItemKey>(&change)) {
                remove.bind(1, qint64(key->kind)).bind(2, key->id).run();
                continue;
            }
            const ItemRecord &record = std::get<ItemRecord>(change);
            const RemoteState &remote = record.remote;
            const LocalState &local = record.local;
            put.bind(1, qint64(record.key.kind))
                .bind(2, record.key.id)
                .bind(3, remote.parentID)
                .bind(4, remote.name)
                .bind(5, remote.size)
                .bind(6, remote.contentHash)
                .bind(7, remote.uploaded)
                .bind(8, remote.modified)
                .bind(9, rawValue(remote.storageClass))
                .bind(10, qint64(remote.present))
                .bind(11, local.path)
                .bind(12, local.size)
                .bind(13, local.contentHash)
                .bind(14, local.uploaded)
                .bind(15, local.mtimeNs)
                .bind(16, qint64(local.inode))
                .bind(17, record.skipped)
                .run();
        }
        auto setMeta = m_db.prepare("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)");
        if (batch.m_cursor) {
            if (*batch.m_cursor)
                setMeta.bind(1, QString::fromLatin1(cursorKey))
                    .bind(2, QString::number(**batch.m_cursor))
                    .run();
            else
                m_db.prepare("DELETE FROM meta WHERE key = 'cursor'").run();
        }
        if (batch.m_folderID)
            setMeta.bind(1, QString::fromLatin1(folderKey)).bind(2, *batch.m_folderID).run();
        m_db.exec("COMMIT");
    } catch (...) {
        m_db.exec("ROLLBACK");
        throw;
    }
}

} // namespace OrvelanNimbal::FileProvider
