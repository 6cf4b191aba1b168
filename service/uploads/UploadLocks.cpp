// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/UploadLocks.h"

namespace OrvelanNimbal::Service {

UploadLocks::Lock UploadLocks::of(const QString &uploadId)
{
    std::lock_guard guard(m_mutex);
    // Locks nobody holds any more are dropped on the way, so the map stays as small as the
    // number of uploads being worked on.
    for (auto entry = m_locks.begin(); entry != m_locks.end();)
        entry = entry->second.expired() ? m_locks.erase(entry) : std::next(entry);
    std::weak_ptr<std::shared_mutex> &slot = m_locks[uploadId];
    Lock lock = slot.lock();
    if (!lock) {
        lock = std::make_shared<std::shared_mutex>();
        slot = lock;
    }
    return lock;
}

} // namespace OrvelanNimbal::Service
