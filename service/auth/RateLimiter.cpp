// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/RateLimiter.h"

namespace OrvelanNimbal::Service {

bool RateLimiter::isBlocked(const std::string &key, std::int64_t now)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_entries.find(key);
    return found != m_entries.end() && found->second.blockedUntil > now;
}

void RateLimiter::recordFailure(const std::string &key, std::int64_t now)
{
    std::lock_guard lock(m_mutex);
    Entry &entry = m_entries[key];
    if (entry.failures == 0 || now - entry.firstFailureAt >= m_policy.windowSeconds) {
        entry.failures = 0;
        entry.firstFailureAt = now;
    }
    if (++entry.failures >= m_policy.maxFailures) {
        entry.blockedUntil = now + m_policy.lockoutSeconds;
        entry.failures = 0; // once the lockout ends, a full series is needed again
    }
}

void RateLimiter::recordSuccess(const std::string &key)
{
    std::lock_guard lock(m_mutex);
    m_entries.erase(key);
}

void RateLimiter::clear()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}

} // namespace OrvelanNimbal::Service
