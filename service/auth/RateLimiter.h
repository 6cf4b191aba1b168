// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace OrvelanNimbal::Service {

// Counts failed attempts per key (see SignInThrottle for the keys) and closes
// the door for a while after too many, so that a password or a six-digit code cannot be
// guessed by trying. A success clears the key's count.
class RateLimiter {
public:
    struct Policy {
        int maxFailures = 5;               // failures that close the door…
        std::int64_t windowSeconds = 900;  // …when they happen within this window
        std::int64_t lockoutSeconds = 300; // how long it then stays closed
    };

    RateLimiter() = default;
    explicit RateLimiter(Policy policy)
        : m_policy(policy)
    {}

    bool isBlocked(const std::string &key, std::int64_t now);
    void recordFailure(const std::string &key, std::int64_t now);
    void recordSuccess(const std::string &key);
    void clear();

private:
    struct Entry {
        int failures = 0;
        std::int64_t firstFailureAt = 0;
        std::int64_t blockedUntil = 0;
    };

    Policy m_policy;
    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;
};

} // namespace OrvelanNimbal::Service
