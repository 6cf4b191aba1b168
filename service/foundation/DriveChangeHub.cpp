// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/DriveChangeHub.h"

#include <utility>

namespace OrvelanNimbal::Service {

DriveChangeHub::Subscription::Subscription(std::weak_ptr<DriveChangeHub *> hub,
                                           std::int64_t accountId, std::uint64_t id)
    : m_hub(std::move(hub))
    , m_accountId(accountId)
    , m_id(id)
{}

DriveChangeHub::Subscription::Subscription(Subscription &&other) noexcept
    : m_hub(std::move(other.m_hub))
    , m_accountId(other.m_accountId)
    , m_id(std::exchange(other.m_id, 0))
{}

DriveChangeHub::Subscription &DriveChangeHub::Subscription::operator=(Subscription &&other) noexcept
{
    if (this != &other) {
        end();
        m_hub = std::move(other.m_hub);
        m_accountId = other.m_accountId;
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

DriveChangeHub::Subscription::~Subscription()
{
    end();
}

void DriveChangeHub::Subscription::end()
{
    if (m_id == 0)
        return;
    if (auto hub = m_hub.lock())
        (*hub)->unsubscribe(m_accountId, m_id);
    m_id = 0;
}

DriveChangeHub::DriveChangeHub()
    : m_self(std::make_shared<DriveChangeHub *>(this))
{}

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
