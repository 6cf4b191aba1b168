// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/EventStreams.h"

#include <algorithm>

namespace OrvelanNimbal::Service {

EventStreams::EventStreams(int limit)
    : m_defaultLimit(std::max(0, limit))
{
    m_settings.limit = m_defaultLimit;
}

void EventStreams::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    endStreams(std::nullopt);
}

std::shared_ptr<OpenStream> EventStreams::open(std::int64_t accountId,
                                               std::chrono::milliseconds askedKeepAlive)
{
    std::lock_guard lock(m_mutex);
    if (m_stopping || int(m_open.size()) >= m_settings.limit)
        return nullptr;
    const StreamTiming timing{m_settings.keepAlive.value_or(askedKeepAlive), m_settings.debounce};
    auto *stream = new OpenStream(accountId, timing);
    m_open.push_back(stream);
    return std::shared_ptr<OpenStream>(stream, [this](OpenStream *done) {
        forget(done);
        delete done;
    });
}

void EventStreams::forget(const OpenStream *stream)
{
    std::lock_guard lock(m_mutex);
    m_open.erase(std::remove(m_open.begin(), m_open.end(), stream), m_open.end());
}

template <class Action>
int EventStreams::forEachStream(std::optional<std::int64_t> accountId, Action action)
{
    std::lock_guard lock(m_mutex);
    int reached = 0;
    for (OpenStream *stream : m_open) {
        if (accountId && stream->accountId() != *accountId)
            continue;
        action(*stream);
        ++reached;
    }
    return reached;
}

int EventStreams::endStreams(std::optional<std::int64_t> accountId)
{
    return forEachStream(accountId, [](OpenStream &stream) { stream.end(); });
}

int EventStreams::stallStreams(std::optional<std::int64_t> accountId)
{
    return forEachStream(accountId, [](OpenStream &stream) { stream.stall(); });
}

int EventStreams::count(std::optional<std::int64_t> accountId) const
{
    std::lock_guard lock(m_mutex);
    if (!accountId)
        return int(m_open.size());
    return int(std::count_if(m_open.begin(), m_open.end(), [&](const OpenStream *stream) {
        return stream->accountId() == *accountId;
    }));
}

EventStreams::Settings EventStreams::settings() const
{
    std::lock_guard lock(m_mutex);
    return m_settings;
}

void EventStreams::setSettings(const Settings &settings)
{
    std::lock_guard lock(m_mutex);
    m_settings = settings;
}

void EventStreams::reset()
{
    {
        std::lock_guard lock(m_mutex);
        m_settings = Settings{};
        m_settings.limit = m_defaultLimit;
    }
    endStreams(std::nullopt);
}

} // namespace OrvelanNimbal::Service
