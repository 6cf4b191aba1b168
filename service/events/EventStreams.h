// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "events/OpenStream.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace OrvelanNimbal::Service {

// Every open event stream of the service, and how new ones are timed. A member of the
// ServiceContext: the stream route opens streams here, test controls act on them here, and a
// stop request ends them all at once.
class EventStreams {
public:
    // Long enough for a burst of changes (a folder moved with its files) to go out as one
    // event, short enough that nobody waits for it.
    static constexpr std::chrono::milliseconds defaultDebounce{50};

    // What test controls may change; reset() restores it.
    struct Settings {
        // Every new stream sends keep-alives this often, whatever it asked: tests need far
        // less than the second a client may ask for.
        std::optional<std::chrono::milliseconds> keepAlive;
        std::chrono::milliseconds debounce = defaultDebounce;
        int limit = 0; // open streams at most; further ones are refused
    };

    // At most `limit` streams open at once.
    explicit EventStreams(int limit);
    EventStreams(const EventStreams &) = delete;
    EventStreams &operator=(const EventStreams &) = delete;

    // A stream for the account, timed with the interval it asked for, counted as open until
    // its last holder lets it go. Nothing when the service is stopping or the limit is reached.
    std::shared_ptr<OpenStream> open(std::int64_t accountId,
                                     std::chrono::milliseconds askedKeepAlive);

    // Of one account, or of every account when none is given; each gives the number of streams
    // it reached.
    int endStreams(std::optional<std::int64_t> accountId);
    int stallStreams(std::optional<std::int64_t> accountId);
    int count(std::optional<std::int64_t> accountId) const;

    Settings settings() const;
    void setSettings(const Settings &settings);
    // Settings back to start, and every open stream ended.
    void reset();
    // The service stops: every open stream ends, and new ones are refused.
    void stop();

    // The service's limit, which tests may lower but not raise.
    int defaultLimit() const { return m_defaultLimit; }

private:
    void forget(const OpenStream *stream);
    template <class Action>
    int forEachStream(std::optional<std::int64_t> accountId, Action action);

    const int m_defaultLimit;
    mutable std::mutex m_mutex;
    bool m_stopping = false;
    Settings m_settings;
    std::vector<OpenStream *> m_open; // each removed by its stream's deleter, under the mutex
};

} // namespace OrvelanNimbal::Service
