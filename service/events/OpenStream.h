// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "events/StreamTiming.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace OrvelanNimbal::Service {

// One open event stream, shared between the worker that writes it and those who give it news:
// the drive hub (a change), the registry (the service stops, a test closes or stalls it). The
// worker sleeps on a condition between writes; it never polls.
class OpenStream {
public:
    enum class Next { announceChange, keepAlive, end };

    OpenStream(std::int64_t accountId, StreamTiming timing);
    OpenStream(const OpenStream &) = delete;
    OpenStream &operator=(const OpenStream &) = delete;

    std::int64_t accountId() const { return m_accountId; }

    // From any thread; each only notes the news and wakes the worker.
    void noteChange();
    void end();
    void stall();

    // The worker: sleeps until something is due and says what. The first call answers
    // keepAlive at once, so that the client hears from a stream as soon as it opens.
    Next waitForNext();

private:
    const std::int64_t m_accountId;
    const StreamTiming m_timing;
    std::mutex m_mutex;
    std::condition_variable m_news;
    StreamState m_state;
};

} // namespace OrvelanNimbal::Service
