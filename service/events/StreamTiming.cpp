// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/StreamTiming.h"

#include <algorithm>
#include <charconv>

namespace OrvelanNimbal::Service {

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::seconds defaultKeepAlive = 30s;
constexpr std::chrono::seconds shortestKeepAlive = 1s;
constexpr std::chrono::seconds longestKeepAlive = 5min;

} // namespace

std::chrono::milliseconds keepAliveInterval(std::string_view ping)
{
    long long seconds = 0;
    const auto [end, error] = std::from_chars(ping.data(), ping.data() + ping.size(), seconds);
    if (ping.empty() || error != std::errc() || end != ping.data() + ping.size() || seconds <= 0)
        return defaultKeepAlive;
    // Held in plain seconds before any conversion, so that a huge number cannot overflow.
    return std::chrono::seconds(
        std::clamp<long long>(seconds, shortestKeepAlive.count(), longestKeepAlive.count()));
}

StreamStep nextStep(const StreamState &state, const StreamTiming &timing,
                    StreamClock::time_point now)
{
    using Kind = StreamStep::Kind;
    // A change noted before the end still goes out, without its debounce: the client would
    // otherwise learn of it only at its next full refresh.
    if (state.ended)
        return {state.changedSince ? Kind::announceChange : Kind::end};
    if (state.stalled)
        return {Kind::waitForNews};
    StreamClock::time_point due = state.lastWrite + timing.keepAlive;
    if (state.changedSince) {
        const StreamClock::time_point announceAt = *state.changedSince + timing.debounce;
        if (now >= announceAt)
            return {Kind::announceChange};
        due = std::min(due, announceAt);
    }
    if (now >= state.lastWrite + timing.keepAlive)
        return {Kind::keepAlive};
    return {Kind::waitUntil, due};
}

} // namespace OrvelanNimbal::Service
