// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace OrvelanNimbal::Service {

// How many requests each route received, so that a test can tell how often a client sent one.
class RequestLog {
public:
    void record(const std::string &method, const std::string &path);
    int count(const std::string &method, const std::string &path) const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::map<std::pair<std::string, std::string>, int> m_counts;
};

} // namespace OrvelanNimbal::Service
