// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/OpenStream.h"

#include <algorithm>

namespace OrvelanNimbal::Service {

OpenStream::OpenStream(std::int64_t accountId, StreamTiming timing)
    : m_accountId(accountId)
    , m_timing(timing)
{
    m_state.lastWrite = StreamClock::now() - timing.keepAlive;
}

template <class Change>
void OpenStream::note(Change change)
{
    {
        std::lock_guard lock(m_mutex);
        change(m_state);
        m_unseen = true;
    }
    m_news.notify_one();
}

void OpenStream::noteChange()
{
    note([](StreamState &state) {
        if (!state.changedSince)
            state.changedSince = StreamClock::now();
    });
}

void OpenStream::end()
{
    note([](StreamState &state) { state.ended = true; });
}

void OpenStream::stall()
{
    note([](StreamState &state) { state.stalled = true; });
}

StreamStep OpenStream::take(StreamClock::time_point now)
{
    std::lock_guard lock(m_mutex);
    m_unseen = false;
    const StreamStep step = nextStep(m_state, m_timing, now);
    if (step.kind == StreamStep::Kind::announceChange) {
        m_state.changedSince.reset();
        m_state.lastWrite = now;
    } else if (step.kind == StreamStep::Kind::keepAlive) {
        m_state.lastWrite = now;
    }
    return step;
}

void OpenStream::wait(const StreamStep &step, StreamClock::duration most)
{
    StreamClock::time_point until = StreamClock::now() + most;
    if (step.kind == StreamStep::Kind::waitUntil)
        until = std::min(until, step.until);
    std::unique_lock lock(m_mutex);
    m_news.wait_until(lock, until, [this] { return m_unseen; });
}

} // namespace OrvelanNimbal::Service
