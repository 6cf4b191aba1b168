// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/OpenStream.h"

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
    std::lock_guard lock(m_mutex);
    change(m_state);
    if (m_wake)
        m_wake();
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

void OpenStream::setWaker(std::function<void()> wake)
{
    std::lock_guard lock(m_mutex);
    m_wake = std::move(wake);
}

StreamStep OpenStream::take(StreamClock::time_point now)
{
    std::lock_guard lock(m_mutex);
    const StreamStep step = nextStep(m_state, m_timing, now);
    if (step.kind == StreamStep::Kind::announceChange) {
        m_state.changedSince.reset();
        m_state.lastWrite = now;
    } else if (step.kind == StreamStep::Kind::keepAlive) {
        m_state.lastWrite = now;
    }
    return step;
}

} // namespace OrvelanNimbal::Service
