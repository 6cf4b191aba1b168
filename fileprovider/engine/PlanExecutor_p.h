// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/SyncEngine.h"

#include <QSet>

namespace OrvelanNimbal::FileProvider {

// Carries out one plan on the disk, in the order that never strands an item: folders made and
// items moved (shallowest place first, so a parent is there before its children), contents
// downloaded several at once, then removals (deepest first, so a folder is empty when its turn
// comes). Each step re-reads the disk first and records its result in the engine's journal.
class PlanExecutor {
public:
    PlanExecutor(SyncEngine &engine, Plan plan, CancellationToken cancel);

    QCoro::Task<SyncEngine::PassOutcome> run();

private:
    struct Version {
        qint64 size = 0;
        QString contentHash;
        qint64 uploaded = 0;
    };

    void recordSkips();
    void placeStructure();
    bool createFolder(const ItemKey &key);
    bool move(const ItemKey &key);
    bool vacate(const QString &path, const ItemKey &forKey);
    void setAside(const QString &path);
    void lose(const ItemKey &key);
    QCoro::Task<> downloadAll();
    QCoro::Task<> downloadWorker(std::shared_ptr<std::vector<ItemKey>> queue);
    QCoro::Task<> download(ItemKey key);
    QCoro::Task<bool> isAlreadyThere(ItemKey key, QString target);
    QCoro::Task<> place(ItemKey key, QString part, QString target, Version version);
    bool remove(const ItemKey &key);
    void setLocal(const ItemKey &key, const LocalState &local);
    bool matchesSynchronised(const ItemRecord &record, const LocalEntry &entry) const;

    SyncEngine &m_engine;
    const LocalFolder &m_folder;
    Plan m_plan;
    CancellationToken m_cancel;
    QHash<QString, ItemKey> m_owners; // what each path on disk holds, for the items we know
    QSet<ItemKey> m_moving;
    QSet<ItemKey> m_removing;
    SyncEngine::PassOutcome m_outcome;
    std::chrono::nanoseconds m_lastDurableCommit{};
};

} // namespace OrvelanNimbal::FileProvider
