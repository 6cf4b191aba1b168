// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace httplib {
struct Response;
}

namespace OrvelanNimbal::Service {

// What a test asks the next answer of a route to be.
struct InjectedFault {
    int status = 0;            // answer with this status instead of the real handler; 0: don't
    int delayMilliseconds = 0; // wait this long first
    std::vector<std::pair<std::string, std::string>> headers; // added to whatever answers
    bool dropConnection = false; // send the head, then break the connection mid-body
    std::string body;            // body of a status answer; a small JSON error when empty
};

// Faults queued per route (method and exact path, query excluded) and taken one per request,
// in the order they were queued. Method "*" matches every method.
class FaultInjector {
public:
    void add(const std::string &method, const std::string &path, const InjectedFault &fault,
             int count);
    std::optional<InjectedFault> take(const std::string &method, const std::string &path);
    void clear();

    // Applies the parts of a fault that replace the answer. True when the answer is complete
    // and the real handler must not run; false when only a delay or headers were asked for.
    static bool apply(const InjectedFault &fault, httplib::Response &response);

private:
    using Route = std::pair<std::string, std::string>;
    std::mutex m_mutex;
    std::map<Route, std::deque<InjectedFault>> m_queues;
};

} // namespace OrvelanNimbal::Service
