// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "events/StreamTiming.h"

#include <cstdint>
#include <functional>
#include <mutex>

namespace OrvelanNimbal::Service {

// One open event stream, shared between the connection loop that writes it and those who give
// it news: the drive hub (a change), the registry (the service stops, a test closes or stalls
// it). News wakes the loop; nobody waits or polls.
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

    // How the writer is woken; called with the stream's lock held, so that once it is replaced
    // (by an empty function when the writer goes) the old one is never called again.
    void setWaker(std::function<void()> wake);

    // The writer: what is due at `now`, marked done when it is a write (announceChange,
    // keepAlive). The first call answers keepAlive, so that the client hears from a stream as
    // soon as it opens.
    StreamStep take(StreamClock::time_point now);

private:
    template <class Change>
    void note(Change change);

    const std::int64_t m_accountId;
    const StreamTiming m_timing;
    std::mutex m_mutex;
    StreamState m_state;
    std::function<void()> m_wake;
};

} // namespace OrvelanNimbal::Service
