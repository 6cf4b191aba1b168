// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Journal.h"

#include <QFile>

namespace OrvelanNimbal::FileProvider {

namespace {

constexpr qint64 schemaVersion = 3;

// The first layout; kept as it was, so that a journal of it is read and brought up to date.
const char *const firstLayout = R"sql(
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

// The second: the base's parent, the indexes the queries use, failures and intents.
const char *const secondLayout = R"sql(
ALTER TABLE items ADD COLUMN base_parent INTEGER NOT NULL DEFAULT 0;
UPDATE items SET base_parent = parent WHERE path <> '';
CREATE INDEX IF NOT EXISTS items_by_path ON items (path) WHERE path <> '';
CREATE INDEX IF NOT EXISTS items_by_parent ON items (parent);
CREATE TABLE IF NOT EXISTS failures (
    subject TEXT PRIMARY KEY, kind INTEGER NOT NULL, attempts INTEGER NOT NULL,
    error TEXT NOT NULL, next_try INTEGER NOT NULL, fingerprint TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS intents (
    number INTEGER PRIMARY KEY, kind INTEGER NOT NULL, item_kind INTEGER NOT NULL,
    item_id INTEGER NOT NULL, path TEXT NOT NULL, temporary TEXT NOT NULL, target TEXT NOT NULL,
    inode INTEGER NOT NULL, upload_id TEXT NOT NULL, storage_key TEXT NOT NULL);
)sql";

// The third: what is on disk directly in a folder, found without reading the rest. The folder
// of a path is the path up to its last '/' (rtrim removes every character but '/' from the end).
const char *const thirdLayout = R"sql(
CREATE INDEX IF NOT EXISTS items_by_folder ON items (rtrim(path, replace(path, '/', '')))
    WHERE path <> '';
)sql";

const char *const itemColumns =
    "kind, id, parent, name, size, hash, uploaded, modified, class, present, path, base_parent,"
    " local_size, local_hash, local_uploaded, mtime_ns, inode, skipped";

const QString cursorKey = QStringLiteral("cursor");
const QString folderKey = QStringLiteral("folder");
const QString schemaKey = QStringLiteral("schema");

ItemRecord recordOf(const SqliteDatabase::Statement &row)
{
    ItemRecord record;
    record.key = {ItemKind(row.int64(0)), row.int64(1)};
    record.remote.parentID = row.int64(2);
    record.remote.name = row.text(3);
    record.remote.size = row.int64(4);
    record.remote.contentHash = row.text(5);
    record.remote.uploaded = row.int64(6);
    record.remote.modified = row.int64(7);
    record.remote.storageClass = storageClassFromServerValue(row.text(8));
    record.remote.present = row.int64(9) != 0;
    record.base.path = row.text(10);
    record.base.parentID = row.int64(11);
    record.base.size = row.int64(12);
    record.base.contentHash = row.text(13);
    record.base.uploaded = row.int64(14);
    record.base.mtimeNs = row.int64(15);
    record.base.inode = quint64(row.int64(16));
    record.skipped = row.text(17);
    return record;
}

QByteArray itemQuery(const char *condition)
{
    return QByteArray("SELECT ") + itemColumns + " FROM items " + condition;
}

} // namespace

Journal::Journal(const QString &path)
    : m_db(path)
{
    // Who has what on their drive is the user's business alone.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    m_db.exec(firstLayout);
    migrate();
}

void Journal::migrate()
{
    const std::optional<QString> version = setting(schemaKey);
    const qint64 found = version ? version->toLongLong() : 0;
    if (found == schemaVersion)
        return;
    // A new file has the first layout from above and no version yet.
    if (version && found != 1 && found != 2)
        throw JournalError(
            QStringLiteral("Journal de synchronisation d'une version inconnue (%1)").arg(*version));
    m_db.exec("BEGIN IMMEDIATE");
    try {
        if (found < 2)
            m_db.exec(secondLayout);
        m_db.exec(thirdLayout);
        m_db.prepare("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)")
            .bind(1, schemaKey)
            .bind(2, QString::number(schemaVersion))
            .run();
        m_db.exec("COMMIT");
    } catch (...) {
        m_db.exec("ROLLBACK");
        throw;
    }
}

std::optional<QString> Journal::setting(const QString &key)
{
    auto query = m_db.prepare("SELECT value FROM meta WHERE key = ?");
    query.bind(1, key);
    if (!query.step())
        return std::nullopt;
    return query.text(0);
}

std::optional<qint64> Journal::cursor()
{
    const std::optional<QString> value = setting(cursorKey);
    if (!value)
        return std::nullopt;
    return value->toLongLong();
}

QString Journal::folderID()
{
    return setting(folderKey).value_or(QString());
}

std::optional<ItemRecord> Journal::oneItem(SqliteDatabase::Statement &query)
{
    if (!query.step())
        return std::nullopt;
    return recordOf(query);
}

std::vector<ItemRecord> Journal::allItems(SqliteDatabase::Statement &query)
{
    std::vector<ItemRecord> found;
    while (query.step())
        found.push_back(recordOf(query));
    return found;
}

std::optional<ItemRecord> Journal::item(const ItemKey &key)
{
    auto query = m_db.prepare(itemQuery("WHERE kind = ? AND id = ?").constData());
    query.bind(1, qint64(key.kind)).bind(2, key.id);
    return oneItem(query);
}

std::optional<ItemRecord> Journal::itemAt(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    auto query = m_db.prepare(itemQuery("WHERE path = ? AND path <> ''").constData());
    query.bind(1, path);
    return oneItem(query);
}

std::vector<ItemRecord> Journal::itemsUnder(qint64 parentID)
{
    auto query = m_db.prepare(itemQuery("WHERE parent = ?").constData());
    query.bind(1, parentID);
    return allItems(query);
}

std::vector<ItemRecord> Journal::itemsInFolder(const QString &folder)
{
    auto query = m_db.prepare(
        itemQuery("WHERE rtrim(path, replace(path, '/', '')) = ? AND path <> ''").constData());
    query.bind(1, folder.isEmpty() ? folder : folder + u'/');
    return allItems(query);
}

std::vector<ItemRecord> Journal::itemsBeneath(const QString &path)
{
    // Everything whose path starts with "path/": in byte order, from "path/" up to "path0",
    // '0' being the character after '/'.
    auto query = m_db.prepare(itemQuery("WHERE path >= ? AND path < ? AND path <> ''").constData());
    query.bind(1, path + u'/').bind(2, path + u'0');
    return allItems(query);
}

std::vector<ItemRecord> Journal::itemsNamed(qint64 parentID, const QString &name)
{
    auto query = m_db.prepare(itemQuery("WHERE parent = ? AND name = ?").constData());
    query.bind(1, parentID).bind(2, name);
    return allItems(query);
}

qsizetype Journal::placedCount()
{
    auto query = m_db.prepare("SELECT count(*) FROM items WHERE path <> ''");
    query.step();
    return qsizetype(query.int64(0));
}

ItemTable Journal::items()
{
    ItemTable table;
    auto query = m_db.prepare(itemQuery("").constData());
    while (query.step()) {
        const ItemRecord record = recordOf(query);
        table.insert(record.key, record);
    }
    return table;
}

qsizetype Journal::itemCount()
{
    auto query = m_db.prepare("SELECT count(*) FROM items");
    query.step();
    return qsizetype(query.int64(0));
}

std::vector<Failure> Journal::failures()
{
    std::vector<Failure> found;
    auto query = m_db.prepare(
        "SELECT subject, kind, attempts, error, next_try, fingerprint FROM failures");
    while (query.step()) {
        found.push_back({query.text(0), FailureKind(query.int64(1)), int(query.int64(2)),
                         query.text(3), query.int64(4), query.text(5)});
    }
    return found;
}

std::optional<Failure> Journal::failure(const QString &subject)
{
    auto query = m_db.prepare("SELECT subject, kind, attempts, error, next_try, fingerprint"
                              " FROM failures WHERE subject = ?");
    query.bind(1, subject);
    if (!query.step())
        return std::nullopt;
    return Failure{query.text(0),  FailureKind(query.int64(1)), int(query.int64(2)),
                   query.text(3),  query.int64(4),              query.text(5)};
}

std::vector<Intent> Journal::intents()
{
    std::vector<Intent> found;
    auto query = m_db.prepare("SELECT number, kind, item_kind, item_id, path, temporary, target,"
                              " inode, upload_id, storage_key FROM intents ORDER BY number");
    while (query.step()) {
        Intent intent;
        intent.number = query.int64(0);
        intent.kind = Intent::Kind(query.int64(1));
        intent.key = {ItemKind(query.int64(2)), query.int64(3)};
        intent.path = query.text(4);
        intent.temporary = query.text(5);
        intent.target = query.text(6);
        intent.inode = quint64(query.int64(7));
        intent.uploadID = query.text(8);
        intent.storageKey = query.text(9);
        found.push_back(std::move(intent));
    }
    return found;
}

qint64 Journal::record(const Intent &intent)
{
    auto insert = m_db.prepare(
        "INSERT INTO intents (kind, item_kind, item_id, path, temporary, target, inode, upload_id,"
        " storage_key) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING number");
    insert.bind(1, qint64(intent.kind))
        .bind(2, qint64(intent.key.kind))
        .bind(3, intent.key.id)
        .bind(4, intent.path)
        .bind(5, intent.temporary)
        .bind(6, intent.target)
        .bind(7, qint64(intent.inode))
        .bind(8, intent.uploadID)
        .bind(9, intent.storageKey);
    if (!insert.step())
        throw JournalError(QStringLiteral("Journal de synchronisation : intention non écrite"));
    const qint64 number = insert.int64(0);
    insert.run();
    return number;
}

void Journal::Batch::append(Batch &&later)
{
    std::move(later.m_changes.begin(), later.m_changes.end(), std::back_inserter(m_changes));
    std::move(later.m_failures.begin(), later.m_failures.end(), std::back_inserter(m_failures));
    m_droppedIntents.insert(m_droppedIntents.end(), later.m_droppedIntents.begin(),
                            later.m_droppedIntents.end());
    std::move(later.m_settings.begin(), later.m_settings.end(), std::back_inserter(m_settings));
    if (later.m_cursor)
        m_cursor = later.m_cursor;
    if (later.m_folderID)
        m_folderID = later.m_folderID;
    later = {};
}

void Journal::commit(const Batch &batch)
{
    if (batch.isEmpty())
        return;
    m_db.exec("BEGIN IMMEDIATE");
    try {
        auto put = m_db.prepare(
            (QByteArray("INSERT OR REPLACE INTO items (") + itemColumns
             + ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                .constData());
        auto remove = m_db.prepare("DELETE FROM items WHERE kind = ? AND id = ?");
        for (const auto &change : batch.m_changes) {
            if (const auto *key = std::get_if<ItemKey>(&change)) {
                remove.bind(1, qint64(key->kind)).bind(2, key->id).run();
                continue;
            }
            const ItemRecord &record = std::get<ItemRecord>(change);
            const RemoteState &remote = record.remote;
            const BaseState &base = record.base;
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
                .bind(11, base.path)
                .bind(12, base.parentID)
                .bind(13, base.size)
                .bind(14, base.contentHash)
                .bind(15, base.uploaded)
                .bind(16, base.mtimeNs)
                .bind(17, qint64(base.inode))
                .bind(18, record.skipped)
                .run();
        }
        auto putFailure = m_db.prepare(
            "INSERT OR REPLACE INTO failures (subject, kind, attempts, error, next_try,"
            " fingerprint) VALUES (?, ?, ?, ?, ?, ?)");
        auto clearFailure = m_db.prepare("DELETE FROM failures WHERE subject = ?");
        for (const auto &change : batch.m_failures) {
            if (const auto *subject = std::get_if<QString>(&change)) {
                clearFailure.bind(1, *subject).run();
                continue;
            }
            const Failure &failure = std::get<Failure>(change);
            putFailure.bind(1, failure.subject)
                .bind(2, qint64(failure.kind))
                .bind(3, failure.attempts)
                .bind(4, failure.error)
                .bind(5, failure.nextTryMs)
                .bind(6, failure.fingerprint)
                .run();
        }
        auto dropIntent = m_db.prepare("DELETE FROM intents WHERE number = ?");
        for (qint64 number : batch.m_droppedIntents)
            dropIntent.bind(1, number).run();
        auto setMeta = m_db.prepare("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)");
        for (const auto &[key, value] : batch.m_settings)
            setMeta.bind(1, key).bind(2, value).run();
        if (batch.m_cursor) {
            if (*batch.m_cursor)
                setMeta.bind(1, cursorKey).bind(2, QString::number(**batch.m_cursor)).run();
            else
                m_db.prepare("DELETE FROM meta WHERE key = 'cursor'").run();
        }
        if (batch.m_folderID)
            setMeta.bind(1, folderKey).bind(2, *batch.m_folderID).run();
        m_db.exec("COMMIT");
    } catch (...) {
        m_db.exec("ROLLBACK");
        throw;
    }
}

} // namespace OrvelanNimbal::FileProvider
