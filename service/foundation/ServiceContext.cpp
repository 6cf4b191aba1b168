// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/ServiceContext.h"

#include "foundation/Database.h"

namespace OrvelanNimbal::Service {

ServiceContext::ServiceContext(ServiceConfig config, std::unique_ptr<Database> database,
                               std::shared_ptr<ServiceClock> clock)
    : m_config(std::move(config))
    , m_database(std::move(database))
    , m_clock(std::move(clock))
{}

ServiceContext::~ServiceContext() = default;

void ServiceContext::requestStop()
{
    std::vector<std::function<void()>> listeners;
    {
        std::lock_guard lock(m_stopMutex);
        if (m_stopping.exchange(true))
            return;
        listeners.swap(m_stopListeners);
    }
    // Outside the lock: a listener may take locks of its own that a worker holds while it
    // registers another listener.
    for (const auto &listener : listeners)
        listener();
}

void ServiceContext::onStopRequested(std::function<void()> listener)
{
    {
        std::lock_guard lock(m_stopMutex);
        if (!m_stopping) {
            m_stopListeners.push_back(std::move(listener));
            return;
        }
    }
    listener();
}

} // namespace OrvelanNimbal::Service
