// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace OrvelanNimbal::Service {

// Where the drive announces that an account's drive changed, and where the event streams
// listen. Every mutation of a drive (folders, files, trash, uploads) publishes once it is
// committed; subscribers are called on the publishing thread and must only note the change
// (an event stream wakes its writer). A member of the ServiceContext:
//   context.driveChanges.publish(account.id);
class DriveChangeHub {
public:
    using Listener = std::function<void()>;

    // Ends the subscription when destroyed; after that its listener is never called again.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription &&other) noexcept;
        Subscription &operator=(Subscription &&other) noexcept;
        ~Subscription();

    private:
        friend class DriveChangeHub;
        void end();
        Subscription(std::weak_ptr<DriveChangeHub *> hub, std::int64_t accountId, std::uint64_t id);

        std::weak_ptr<DriveChangeHub *> m_hub;
        std::int64_t m_accountId = 0;
        std::uint64_t m_id = 0;
    };

    DriveChangeHub();
    DriveChangeHub(const DriveChangeHub &) = delete;
    DriveChangeHub &operator=(const DriveChangeHub &) = delete;

    [[nodiscard]] Subscription subscribe(std::int64_t accountId, Listener listener);
    void publish(std::int64_t accountId);

private:
    void unsubscribe(std::int64_t accountId, std::uint64_t id);

    std::mutex m_mutex;
    std::uint64_t m_lastId = 0;
    std::multimap<std::int64_t, std::pair<std::uint64_t, Listener>> m_listeners;
    std::shared_ptr<DriveChangeHub *> m_self; // lets subscriptions outlive the hub safely
};

} // namespace OrvelanNimbal::Service
