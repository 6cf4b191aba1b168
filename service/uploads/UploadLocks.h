// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>

namespace OrvelanNimbal::Service {

// One lock per upload in progress. Storing a part holds it shared, so that parts may arrive
// side by side; completing, abandoning and sweeping hold it alone, so that no part is written
// into a folder being assembled or deleted, and no upload is completed twice.
class UploadLocks {
public:
    using Lock = std::shared_ptr<std::shared_mutex>;

    // The same lock for the same id for as long as anyone holds it.
    Lock of(const QString &uploadId);

private:
    std::mutex m_mutex;
    std::map<QString, std::weak_ptr<std::shared_mutex>> m_locks;
};

} // namespace OrvelanNimbal::Service
