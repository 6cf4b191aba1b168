// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "foundation/Lifetimes.h"
#include "foundation/ServiceClock.h"
#include "foundation/ServiceConfig.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <typeindex>
#include <unordered_map>
#include <vector>

namespace OrvelanNimbal::Service {

class Database;

// What every route of the service shares: the configuration, the database, the clock and the
// lifetimes. Shared parts that a family of routes brings with it (fault injection, rate
// limits, later an event hub or a content store) are components: built on first use from the
// context, kept for the life of the service, and reached with component<T>() from any thread.
class ServiceContext {
public:
    ServiceContext(ServiceConfig config, std::unique_ptr<Database> database,
                   std::shared_ptr<ServiceClock> clock = systemServiceClock());
    ~ServiceContext();
    ServiceContext(const ServiceContext &) = delete;
    ServiceContext &operator=(const ServiceContext &) = delete;

    const ServiceConfig &config() const { return m_config; }
    Database &database() { return *m_database; }
    const ServiceClock &clock() const { return *m_clock; }
    std::int64_t now() const { return m_clock->now(); }
    Lifetimes &lifetimes() { return m_lifetimes; }

    // Set when the service is asked to stop. Answers that run for long (event streams) check it
    // and end, so that their connections close properly.
    bool isStopping() const { return m_stopping.load(); }
    void requestStop();
    // Runs `listener` once when the service is asked to stop (at once if it already was), on the
    // thread that asks. Answers that sleep until something happens wake with it rather than
    // look at isStopping() now and then.
    void onStopRequested(std::function<void()> listener);

    // T is constructible from ServiceContext&, or default-constructible.
    template <class T>
    T &component()
    {
        std::lock_guard lock(m_componentsMutex);
        auto found = m_components.find(typeid(T));
        if (found == m_components.end()) {
            std::shared_ptr<T> made;
            if constexpr (std::is_constructible_v<T, ServiceContext &>)
                made = std::make_shared<T>(*this);
            else
                made = std::make_shared<T>();
            found = m_components.emplace(typeid(T), std::move(made)).first;
        }
        return *static_cast<T *>(found->second.get());
    }

private:
    const ServiceConfig m_config;
    std::unique_ptr<Database> m_database;
    std::shared_ptr<ServiceClock> m_clock;
    Lifetimes m_lifetimes;
    std::atomic<bool> m_stopping = false;
    std::mutex m_stopMutex;
    std::vector<std::function<void()>> m_stopListeners;
    std::recursive_mutex m_componentsMutex; // a component may use another while built
    std::unordered_map<std::type_index, std::shared_ptr<void>> m_components;
};

} // namespace OrvelanNimbal::Service
