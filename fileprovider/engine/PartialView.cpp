// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/PartialView.h"

namespace OrvelanNimbal::FileProvider {

void PartialView::add(const ItemRecord &row)
{
    if (m_rows.contains(row.key))
        return;
    m_rows.insert(row.key, row);
    if (row.base.isOnDisk())
        m_paths.insert(row.base.path);
    m_unplaced.push_back(row.key);
}

void PartialView::addFolder(const QString &path)
{
    m_listed.insert(path);
    if (!path.isEmpty()) {
        if (const std::optional<ItemRecord> folder = m_journal.itemAt(path))
            add(*folder);
    }
    for (const ItemRecord &row : m_journal.itemsInFolder(path))
        add(row);
}

void PartialView::addItem(const ItemKey &key)
{
    if (m_rows.contains(key))
        return;
    if (const std::optional<ItemRecord> row = m_journal.item(key))
        add(*row);
}

void PartialView::addSubtree(const ItemKey &folder)
{
    addItem(folder);
    // The service's side, folder by folder with a list rather than a call per level.
    std::vector<qint64> pending{folder.id};
    QSet<qint64> seen;
    while (!pending.empty()) {
        const qint64 id = pending.back();
        pending.pop_back();
        if (seen.contains(id))
            continue;
        seen.insert(id);
        for (const ItemRecord &row : m_journal.itemsUnder(id)) {
            add(row);
            if (row.key.isFolder())
                pending.push_back(row.key.id);
        }
    }
    // The disk's side: wherever the rows say it all was.
    for (const qint64 id : std::as_const(seen)) {
        const auto row = m_rows.constFind(ItemKey::folder(id));
        if (row != m_rows.cend() && row->base.isOnDisk())
            addBeneath(row->base.path);
    }
}

void PartialView::addChildren(const ItemKey &folder)
{
    addItem(folder);
    for (const ItemRecord &row : m_journal.itemsUnder(folder.id))
        add(row);
    // And what lies directly at its place on disk, whoever has it on the service now.
    const auto row = m_rows.constFind(folder);
    if (row != m_rows.cend() && row->base.isOnDisk()) {
        for (const ItemRecord &child : m_journal.itemsInFolder(row->base.path))
            add(child);
    }
}

void PartialView::addSeen(const ItemKey &key, const QString &path)
{
    addItem(key);
    m_seen.append(path);
    // The folders it is in now, so that it is placed under them.
    for (QString above = parentPath(path); !above.isEmpty(); above = parentPath(above)) {
        if (m_paths.contains(above))
            continue;
        if (const std::optional<ItemRecord> folder = m_journal.itemAt(above))
            add(*folder);
    }
}

void PartialView::addBeneath(const QString &path)
{
    if (m_walked.contains(path) || isBelowAny(path, m_walked))
        return;
    m_walked.insert(path);
    for (const ItemRecord &row : m_journal.itemsBeneath(path))
        add(row);
}

void PartialView::addAncestors()
{
    while (!m_unplaced.empty()) {
        const ItemRecord row = m_rows.value(m_unplaced.back());
        m_unplaced.pop_back();
        // The service's parent: the tree is placed from the top.
        if (row.remote.parentID > 0)
            addItem(ItemKey::folder(row.remote.parentID));
        // The disk's: what new entries beside it go under.
        if (row.base.isOnDisk()) {
            const QString above = parentPath(row.base.path);
            if (!above.isEmpty() && !m_paths.contains(above)) {
                if (const std::optional<ItemRecord> folder = m_journal.itemAt(above))
                    add(*folder);
            }
            if (row.base.parentID > 0)
                addItem(ItemKey::folder(row.base.parentID));
        }
    }
}

ScanParts PartialView::scanParts()
{
    addAncestors();
    ScanParts parts;
    parts.listed = m_listed;
    parts.walked = m_walked;
    parts.entries = m_seen;
    for (const ItemRecord &row : std::as_const(m_rows)) {
        if (!row.base.isOnDisk())
            continue;
        parts.entries.append(row.base.path);
        if (row.key.isFolder())
            parts.known.insert(row.base.path, row.base.inode);
    }
    return parts;
}

QList<QString> PartialView::widen(const LocalScan &scan)
{
    std::vector<QString> gone;
    for (const ItemRecord &row : std::as_const(m_rows)) {
        if (!row.key.isFolder() || !row.base.isOnDisk() || scan.isUnseen(row.base.path))
            continue;
        const LocalEntry entry = scan.entries.value(row.base.path);
        if (entry.type != LocalEntry::Type::folder || entry.inode != row.base.inode)
            gone.push_back(row.base.path);
    }
    const qsizetype before = m_rows.size();
    for (const QString &path : gone)
        addBeneath(path);
    addAncestors();
    QList<QString> joined;
    if (m_rows.size() == before)
        return joined;
    for (const ItemRecord &row : std::as_const(m_rows)) {
        if (row.base.isOnDisk() && !scan.entries.contains(row.base.path))
            joined.append(row.base.path);
    }
    return joined;
}

std::optional<QString> PartialView::unexplainedAbsence(const LocalScan &scan) const
{
    for (const ItemRecord &row : m_rows) {
        const QString &path = row.base.path;
        if (!row.base.isOnDisk() || scan.entries.contains(path) || scan.others.contains(path)
            || scan.pathsByInode.contains(row.base.inode) || scan.isUnseen(path))
            continue;
        const QString folder = parentPath(path);
        if (!m_listed.contains(folder) && !m_walked.contains(folder)
            && !isBelowAny(folder, m_walked))
            return path;
    }
    return std::nullopt;
}

std::optional<ItemKey> itemKeyOf(const QString &subject)
{
    if (subject.size() < 3 || subject[1] != u':')
        return std::nullopt;
    bool number = false;
    const qint64 id = subject.sliced(2).toLongLong(&number);
    if (!number)
        return std::nullopt;
    if (subject[0] == u'f')
        return ItemKey::file(id);
    if (subject[0] == u'd')
        return ItemKey::folder(id);
    return std::nullopt;
}

} // namespace OrvelanNimbal::FileProvider
