// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/UploadDigests.h"

namespace OrvelanNimbal::Service {

std::optional<ContentDigest> UploadDigests::resume(const QString &uploadId, std::int64_t number)
{
    std::lock_guard lock(m_mutex);
    Running &running = m_running[uploadId];
    if (!running.givenUp && running.next == number)
        return running.digest;
    running.givenUp = true;
    return std::nullopt;
}

void UploadDigests::advance(const QString &uploadId, std::int64_t number, ContentDigest digest)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_running.find(uploadId);
    // Given up meanwhile (a part of the same upload out of order), or forgotten (abandoned).
    if (found == m_running.end() || found->second.givenUp || found->second.next != number)
        return;
    found->second.digest = std::move(digest);
    found->second.next = number + 1;
}

std::optional<QString> UploadDigests::finish(const QString &uploadId, std::int64_t parts)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_running.find(uploadId);
    if (found == m_running.end())
        return std::nullopt;
    std::optional<QString> hash;
    if (!found->second.givenUp && found->second.next == parts + 1)
        hash = found->second.digest.hex();
    m_running.erase(found);
    return hash;
}

void UploadDigests::forget(const QString &uploadId)
{
    std::lock_guard lock(m_mutex);
    m_running.erase(uploadId);
}

} // namespace OrvelanNimbal::Service
