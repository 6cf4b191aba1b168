// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "disk/LocalScan.h"
#include "engine/Journal.h"

namespace OrvelanNimbal::FileProvider {

// What a pass over part of the folder decides from, read by query rather than whole: the rows of
// the folders whose entries changed on disk, the items the service changed and those waiting
// for another try, each with the folders above it on either side (so that it is placed in the
// tree as a whole pass would place it), and what of the disk to read for them. A folder the
// service moved, or one no longer at its place on disk, brings everything beneath it, on both
// sides: what it holds moved, or went, with it.
//
// Every row it holds is looked at on disk, where a listing did not already find it: a row is
// never judged from a part of the disk that was not read.
class PartialView {
public:
    explicit PartialView(Journal &journal)
        : m_journal(journal)
    {}

    // A folder of the disk whose entries changed ("" for the top).
    void addFolder(const QString &path);
    // An item the service changed, or one that waits.
    void addItem(const ItemKey &key);
    // A folder whose place on the service changed: everything beneath it.
    void addSubtree(const ItemKey &folder);
    // A folder, what the service has directly in it and what lies directly at its place.
    void addChildren(const ItemKey &folder);
    // An item an earlier pass found away from its base's place, at `path`.
    void addSeen(const ItemKey &key, const QString &path);

    // What to read on disk for the rows gathered so far, their folders above them included.
    ScanParts scanParts();
    // After the scan: everything beneath the folders no longer at their place on disk joins
    // (deleted, moved elsewhere or out, replaced). Gives the paths of the rows that joined, to
    // look at in turn.
    QList<QString> widen(const LocalScan &scan);

    // A row missing from its place, found nowhere the scan read, in a folder that was not
    // listed: one the part cannot judge (gone, or moved where nobody looked). Its path.
    std::optional<QString> unexplainedAbsence(const LocalScan &scan) const;

    ItemTable takeRows() { return std::move(m_rows); }

private:
    void add(const ItemRecord &row);
    void addBeneath(const QString &path);
    // The folders above every row, on the service's side and on disk.
    void addAncestors();

    Journal &m_journal;
    ItemTable m_rows;
    QSet<QString> m_paths; // the base paths of the rows
    QSet<QString> m_listed;
    QSet<QString> m_walked;
    std::vector<ItemKey> m_unplaced; // rows whose ancestors are still to be added
    QList<QString> m_seen;           // paths looked at besides the rows' own
};

// The item a failure's subject names, when it names one ("f:12", "d:3"; "p:…" names a path).
std::optional<ItemKey> itemKeyOf(const QString &subject);

} // namespace OrvelanNimbal::FileProvider
