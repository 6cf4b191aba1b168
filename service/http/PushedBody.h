// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace OrvelanNimbal::Service {

// A chunked body that goes on after its handler returned, written by the connection loop
// instead of a worker: an event stream stays open for hours, and a worker asleep all that time
// would be one fewer to answer requests. The loop asks the body what comes next whenever the
// body wakes it or the time the body asked for comes.
class PushedBody {
public:
    using Clock = std::chrono::steady_clock;

    struct Step {
        enum class Kind {
            write,       // send `bytes` as a chunk, then ask again
            waitUntil,   // nothing before `until`
            waitForNews, // nothing until the body wakes the loop
            end,         // finish the body
        };
        Kind kind = Kind::waitForNews;
        std::string bytes;
        Clock::time_point until{};
    };

    virtual ~PushedBody() = default;

    // On the loop's thread only.
    virtual Step next(Clock::time_point now) = 0;
    // The loop hands the body a way to wake it, callable from any thread; it takes it back
    // (an empty function) before it lets the body go, so that no wake outlives the connection.
    virtual void setWaker(std::function<void()> wake) = 0;
};

// From the chunked content provider of a handler's answer, on the worker answering it: the rest
// of the body is `body`'s, written by the connection loop. The provider then returns false,
// which ends the worker's part without closing the connection.
void handOverBody(std::shared_ptr<PushedBody> body);

} // namespace OrvelanNimbal::Service
