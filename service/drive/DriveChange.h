// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "foundation/Database.h"
#include "foundation/DriveChangeHub.h"
#include "ServiceContext.h"

#include <cstdint>
#include <type_traits>

namespace OrvelanNimbal::Service {

// One mutation of an account's drive, inside its transaction: the connection, the time, and
// the cursor that stamps every item it touches. The cursor is taken the first time it is asked
// for, so a request that ends up changing nothing leaves the feed where it was.
class DriveChange {
public:
    DriveChange(Connection &connection, std::int64_t accountId, std::int64_t now)
        : m_connection(connection)
        , m_accountId(accountId)
        , m_now(now)
    {}

    Connection &connection() { return m_connection; }
    std::int64_t accountId() const { return m_accountId; }
    std::int64_t now() const { return m_now; }

    std::int64_t cursor();
    bool happened() const { return m_cursor != 0; }

    // Before the commit: storage use follows what the mutation did.
    void finish();

private:
    Connection &m_connection;
    std::int64_t m_accountId;
    std::int64_t m_now;
    std::int64_t m_cursor = 0;
};

// Runs `work(DriveChange &)` in one transaction and, once it is committed and if it changed
// anything, announces the change on the hub (when there is one: the command line has none).
// A throw rolls everything back and announces nothing.
template <class Work>
auto changeDrive(Database &database, DriveChangeHub *hub, std::int64_t accountId, std::int64_t now,
                 Work &&work)
{
    bool changed = false;
    const auto run = [&](Connection &connection) {
        DriveChange change(connection, accountId, now);
        if constexpr (std::is_void_v<decltype(work(change))>) {
            work(change);
            change.finish();
            changed = change.happened();
        } else {
            auto result = work(change);
            change.finish();
            changed = change.happened();
            return result;
        }
    };
    const auto announce = [&] {
        if (changed && hub)
            hub->publish(accountId);
    };
    if constexpr (std::is_void_v<decltype(database.transaction(run))>) {
        database.transaction(run);
        announce();
    } else {
        auto result = database.transaction(run);
        announce();
        return result;
    }
}

template <class Work>
auto changeDrive(ServiceContext &context, std::int64_t accountId, Work &&work)
{
    return changeDrive(context.database(), &context.driveChanges, accountId,
                       context.now(), std::forward<Work>(work));
}

} // namespace OrvelanNimbal::Service
