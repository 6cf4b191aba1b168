// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ItemRecord.h"
#include "engine/SqliteDatabase.h"

#include <optional>
#include <variant>
#include <vector>

namespace OrvelanNimbal::FileProvider {

// The domain's memory between runs: one row per drive item (the service's side and the disk's
// side, see ItemRecord), the change-feed cursor, and the id of the folder it belongs to. A
// commit is one SQLite transaction, so that a kill at any moment leaves either the rows before
// or the rows after, never a mix: the feed's cursor only moves together with what it brought.
class Journal {
public:
    struct Contents {
        ItemTable items;
        std::optional<qint64> cursor; // nothing: the next read is a complete listing
        QString folderID;             // the marker of the folder these rows describe
    };

    // Changes committed together.
    class Batch {
    public:
        void put(const ItemRecord &record) { m_changes.emplace_back(record); }
        void remove(const ItemKey &key) { m_changes.emplace_back(key); }
        void setCursor(std::optional<qint64> cursor) { m_cursor = cursor; }
        void setFolderID(const QString &id) { m_folderID = id; }
        bool isEmpty() const { return m_changes.empty() && !m_cursor && !m_folderID; }
        qsizetype size() const { return qsizetype(m_changes.size()); }

    private:
        friend class Journal;
        std::vector<std::variant<ItemRecord, ItemKey>> m_changes;
        std::optional<std::optional<qint64>> m_cursor;
        std::optional<QString> m_folderID;
    };

    // Opens or creates the journal file (readable by the user only). Throws JournalError.
    explicit Journal(const QString &path);

    Contents load();
    void commit(const Batch &batch);

private:
    SqliteDatabase m_db;
};

} // namespace OrvelanNimbal::FileProvider
