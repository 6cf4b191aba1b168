// SPDX-License-Identifier: GPL-3.0-or-later
#include "admin/FaultInjector.h"

#include <httplib.h>
#include <thread>

namespace OrvelanNimbal::Service {

namespace {

// The length announced by a dropped answer: the client waits for bytes that never come.
constexpr size_t droppedBodyLength = 1024;
constexpr auto droppedBodyPause = std::chrono::milliseconds(30);

} // namespace

void FaultInjector::add(const std::string &method, const std::string &path,
                        const InjectedFault &fault, int count)
{
    std::lock_guard lock(m_mutex);
    auto &queue = m_queues[{method, path}];
    for (int i = 0; i < count; ++i)
        queue.push_back(fault);
}

std::optional<InjectedFault> FaultInjector::take(const std::string &method, const std::string &path)
{
    std::lock_guard lock(m_mutex);
    for (const std::string &candidate : {method, std::string("*")}) {
        auto found = m_queues.find({candidate, path});
        if (found == m_queues.end() || found->second.empty())
            continue;
        InjectedFault fault = std::move(found->second.front());
        found->second.pop_front();
        return fault;
    }
    return std::nullopt;
}

void FaultInjector::clear()
{
    std::lock_guard lock(m_mutex);
    m_queues.clear();
}

bool FaultInjector::apply(const InjectedFault &fault, httplib::Response &response)
{
    if (fault.delayMilliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMilliseconds));
    for (const auto &[name, value] : fault.headers)
        response.set_header(name, value);

    if (fault.dropConnection) {
        response.status = fault.status ? fault.status : 200;
        // The head and the start of the body go out with the announced length, then the
        // provider gives up and the server closes the connection: the client sees it break in
        // the middle of the body. The pause lets the client take in the head first; a
        // connection that closes before any answer arrived would be resent by the client's
        // network layer on its own, and the test would count one request too many.
        response.set_content_provider(droppedBodyLength, "application/json",
                                      [](size_t offset, size_t, httplib::DataSink &sink) {
                                          if (offset > 0)
                                              return false;
                                          constexpr std::string_view start = R"({"partial":)";
                                          sink.write(start.data(), start.size());
                                          std::this_thread::sleep_for(droppedBodyPause);
                                          return false;
                                      });
        return true;
    }
    if (fault.status) {
        response.status = fault.status;
        response.set_content(fault.body.empty() ? R"({"error":"injected_fault"})" : fault.body,
                             "application/json");
        return true;
    }
    return false;
}

} // namespace OrvelanNimbal::Service
