// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ItemRecord.h"
#include "engine/RetryPolicy.h"
#include "engine/SqliteDatabase.h"

#include <optional>
#include <variant>
#include <vector>

namespace OrvelanNimbal::FileProvider {

// A step of several effects, written down before its first one so that a kill between two of
// them is finished or undone at the next start rather than read as the user's doing.
struct Intent {
    enum class Kind { move = 1, download = 2, upload = 3 };

    qint64 number = 0; // the journal's, once recorded
    Kind kind = Kind::move;
    ItemKey key;       // the item; id 0 for a file of the disk the service does not have yet
    QString path;      // move: where it was; download: its temporary; upload: the file
    QString temporary; // move: the name it waits under while its place is freed
    QString target;    // move: where it goes
    quint64 inode = 0; // move: what finds it wherever the kill left it
    QString uploadID;  // upload in parts: what abandoning it takes
    QString storageKey;

    friend bool operator==(const Intent &, const Intent &) = default;
};

// The domain's memory between runs: one row per drive item (the service's side and the base,
// see ItemRecord), the failures waiting for another try, the intents of steps under way, the
// change-feed cursor and the folder it belongs to. Read by query (by id, by path, by parent),
// never held whole between passes. A commit is one SQLite transaction, so that a kill at any
// moment leaves either the rows before or the rows after, never a mix: the feed's cursor only
// moves together with what it brought.
class Journal {
public:
    // Changes committed together.
    class Batch {
    public:
        void put(const ItemRecord &record) { m_changes.emplace_back(record); }
        void remove(const ItemKey &key) { m_changes.emplace_back(key); }
        void putFailure(const Failure &failure) { m_failures.emplace_back(failure); }
        void clearFailure(const QString &subject) { m_failures.emplace_back(subject); }
        void dropIntent(qint64 number) { m_droppedIntents.push_back(number); }
        void setCursor(std::optional<qint64> cursor) { m_cursor = cursor; }
        void setFolderID(const QString &id) { m_folderID = id; }
        void setSetting(const QString &key, const QString &value)
        {
            m_settings.emplace_back(key, value);
        }
        bool isEmpty() const
        {
            return m_changes.empty() && m_failures.empty() && m_droppedIntents.empty()
                   && m_settings.empty() && !m_cursor && !m_folderID;
        }
        qsizetype size() const { return qsizetype(m_changes.size() + m_failures.size()); }
        // `later`'s changes after these, its cursor and settings over these.
        void append(Batch &&later);

    private:
        friend class Journal;
        std::vector<std::variant<ItemRecord, ItemKey>> m_changes;
        std::vector<std::variant<Failure, QString>> m_failures;
        std::vector<qint64> m_droppedIntents;
        std::vector<std::pair<QString, QString>> m_settings;
        std::optional<std::optional<qint64>> m_cursor;
        std::optional<QString> m_folderID;
    };

    // Opens or creates the journal file (readable by the user only); a journal of the previous
    // layout is brought up to this one. Throws JournalError.
    explicit Journal(const QString &path);

    // The file it lives in, for a reader of its own elsewhere; empty for one in memory.
    QString file() const { return m_db.fileName(); }

    std::optional<qint64> cursor(); // nothing: the next read is a complete one
    QString folderID();             // the marker of the folder these rows describe
    std::optional<QString> setting(const QString &key);

    std::optional<ItemRecord> item(const ItemKey &key);
    // The item whose base is at `path` on disk.
    std::optional<ItemRecord> itemAt(const QString &path);
    // The items the service has under `parentID` (0: its root), as last read.
    std::vector<ItemRecord> itemsUnder(qint64 parentID);
    // The items whose base is directly in `folder` on disk ("" for the top).
    std::vector<ItemRecord> itemsInFolder(const QString &folder);
    // The items whose base lies anywhere beneath `path` on disk.
    std::vector<ItemRecord> itemsBeneath(const QString &path);
    // The items the service has under `parentID` with `name`.
    std::vector<ItemRecord> itemsNamed(qint64 parentID, const QString &name);
    // The whole journal: for the few readers that need every row (a full pass, the reports).
    ItemTable items();
    // How many items have a base on disk.
    qsizetype placedCount();
    qsizetype itemCount();

    std::vector<Failure> failures();
    std::optional<Failure> failure(const QString &subject);

    std::vector<Intent> intents();
    // Written and committed at once, on its own, before the effect it announces. Gives its
    // number.
    qint64 record(const Intent &intent);

    void commit(const Batch &batch);

private:
    void migrate();
    std::optional<ItemRecord> oneItem(SqliteDatabase::Statement &query);
    std::vector<ItemRecord> allItems(SqliteDatabase::Statement &query);

    SqliteDatabase m_db;
};

} // namespace OrvelanNimbal::FileProvider
