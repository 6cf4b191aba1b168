// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/DriveChangeHub.h"


namespace OrvelanNimbal::Service {

DriveChangeHub::Subscription::Subscription(std::weak_ptr<DriveChangeHub *> hub,
                                           std::int64_t accountId, std::uint64_t id)
    : m_hub(std::move(hub))
    , m_accountId(accountId)
    , m_id(id)
{
}

DriveChangeHub::Subscription::~Subscription()
{
    if (auto hub = m_hub.lock())
        (*hub)->unsubscribe(m_accountId, m_id);
}

DriveChangeHub::DriveChangeHub()
    : m_self(std::make_shared<DriveChangeHub *>(this))
{
}

DriveChangeHub::Subscription DriveChangeHub::subscribe(std::int64_t accountId, Listener listener)
{
    std::lock_guard lock(m_mutex);
    const std::uint64_t id = ++m_lastId;
    m_listeners.emplace(accountId, std::make_pair(id, std::move(listener)));
    return Subscription(m_self, accountId, id);
}

void DriveChangeHub::unsubscribe(std::int64_t accountId, std::uint64_t id)
{
    std::lock_guard lock(m_mutex);
    auto [begin, end] = m_listeners.equal_range(accountId);
    for (auto it = begin; it != end; ++it) {
        if (it->second.first == id) {
            m_listeners.erase(it);
            return;
        }
    }
}

void DriveChangeHub::publish(std::int64_t accountId)
{
    // Listeners run under the lock: they only note the change, and holding it means an ended
    // subscription is never called afterwards.
    std::lock_guard lock(m_mutex);
    auto [begin, end] = m_listeners.equal_range(accountId);
    for (auto it = begin; it != end; ++it)
        it->second.second();
}

} // namespace OrvelanNimbal::Service
