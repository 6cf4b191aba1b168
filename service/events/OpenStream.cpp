// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/OpenStream.h"

namespace OrvelanNimbal::Service {

OpenStream::OpenStream(std::int64_t accountId, StreamTiming timing)
    : m_accountId(accountId)
    , m_timing(timing)
{
    m_state.lastWrite = StreamClock::now() - timing.keepAlive;
}

void OpenStream::noteChange()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_state.changedSince)
            m_state.changedSince = StreamClock::now();
    }
    m_news.notify_one();
}

void OpenStream::end()
{
    {
        std::lock_guard lock(m_mutex);
        m_state.ended = true;
    }
    m_news.notify_one();
}

void OpenStream::stall()
{
    {
        std::lock_guard lock(m_mutex);
        m_state.stalled = true;
    }
    m_news.notify_one();
}

OpenStream::Next OpenStream::waitForNext()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        const StreamClock::time_point now = StreamClock::now();
        const StreamStep step = nextStep(m_state, m_timing, now);
        switch (step.kind) {
        case StreamStep::Kind::announceChange:
            m_state.changedSince.reset();
            m_state.lastWrite = now;
            return Next::announceChange;
        case StreamStep::Kind::keepAlive:
            m_state.lastWrite = now;
            return Next::keepAlive;
        case StreamStep::Kind::end:
            return Next::end;
        case StreamStep::Kind::waitUntil:
            m_news.wait_until(lock, step.until);
            break;
        case StreamStep::Kind::waitForNews:
            m_news.wait(lock);
            break;
        }
    }
}

} // namespace OrvelanNimbal::Service
