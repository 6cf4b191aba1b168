// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "events/StreamTiming.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace OrvelanNimbal::Service {

// One open event stream, shared between the worker that writes it and those who give it news:
// the drive hub (a change), the registry (the service stops, a test closes or stalls it). The
// writer sleeps on the stream until news comes or its next write is due.
class OpenStream {
public:
    OpenStream(std::int64_t accountId, StreamTiming timing);
    OpenStream(const OpenStream &) = delete;
    OpenStream &operator=(const OpenStream &) = delete;

    std::int64_t accountId() const { return m_accountId; }

    // From any thread; each notes the news and wakes the writer.
    void noteChange();
    void end();
    void stall();

    // The writer: what is due at `now`, marked done when it is a write (announceChange,
    // keepAlive). The first call answers keepAlive, so that the client hears from a stream as
    // soon as it opens.
    StreamStep take(StreamClock::time_point now);
    // The writer: sleeps until news that came after its last take(), until the step's `until`
    // (waitUntil), or for `most` at the longest.
    void wait(const StreamStep &step, StreamClock::duration most);

private:
    template <class Change>
    void note(Change change);

    const std::int64_t m_accountId;
    const StreamTiming m_timing;
    std::mutex m_mutex;
    std::condition_variable m_news;
    StreamState m_state;
    bool m_unseen = false; // news since the writer's last take()
};

} // namespace OrvelanNimbal::Service
