// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace OrvelanNimbal::Service {

// Streams time themselves on the monotonic clock: a change of the wall clock must neither
// flood a client with keep-alives nor silence it.
using StreamClock = std::chrono::steady_clock;

// The keep-alive interval a client asks for with ?ping=N (whole seconds). Absent or not a
// positive number: 30 s. Held between 1 s, so that a client cannot make the service chatter,
// and 5 min, so that a quiet stream is not taken for a dead one by whatever sits in between.
std::chrono::milliseconds keepAliveInterval(std::string_view ping);

struct StreamTiming {
    std::chrono::milliseconds keepAlive; // the longest silence on an open stream
    std::chrono::milliseconds debounce;  // how long a change waits for others to join it
};

// What the writer of one stream knows when it decides what to do next.
struct StreamState {
    bool ended = false;   // the service stops, or a test closed the stream
    bool stalled = false; // a test asked for silence with the connection left open
    std::optional<StreamClock::time_point> changedSince; // first change not yet announced
    StreamClock::time_point lastWrite;
};

struct StreamStep {
    enum class Kind {
        announceChange, // write the change event now
        keepAlive,      // write a keep-alive comment now
        end,            // finish the body
        waitUntil,      // nothing is due before `until`
        waitForNews,    // nothing is due until someone gives the stream news
    };
    Kind kind;
    StreamClock::time_point until{};
};

// The one decision a stream's writer makes, again and again. A burst of changes is announced
// once, `debounce` after its first change; the keep-alive fills silences only; an ended stream
// announces a change still waiting before it ends.
StreamStep nextStep(const StreamState &state, const StreamTiming &timing,
                    StreamClock::time_point now);

} // namespace OrvelanNimbal::Service
