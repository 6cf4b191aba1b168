// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>

namespace OrvelanNimbal {

// Settles a race between callers on any threads: the first to ask is told so, every later one
// is not. Used where two sources may both finish one wait, so that it resumes exactly once.
class FirstOnly {
public:
    bool first()
    {
        const std::lock_guard lock(m_lock);
        const bool wasDone = m_done;
        m_done = true;
        return !wasDone;
    }

private:
    std::mutex m_lock;
    bool m_done = false;
};

} // namespace OrvelanNimbal
