// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/ChangeFeed.h"

#include "foundation/Database.h"

namespace OrvelanNimbal::Service::ChangeFeed {

namespace {

void ensureRow(Connection &connection, std::int64_t accountId)
{
    connection.exec("INSERT INTO drive_accounts (account_id) VALUES (?)"
                    " ON CONFLICT (account_id) DO NOTHING",
                    accountId);
}

} // namespace

Window window(Connection &connection, std::int64_t accountId)
{
    Statement row = connection.query(
        "SELECT oldest_cursor, last_cursor FROM drive_accounts WHERE account_id = ?", accountId);
    if (!row.step())
        return {}; // a drive nobody changed yet: only cursor 0
    return {row.int64(0), row.int64(1)};
}

std::int64_t advance(Connection &connection, std::int64_t accountId)
{
    ensureRow(connection, accountId);
    Statement row = connection.query("UPDATE drive_accounts SET last_cursor = last_cursor + 1,"
                                     " oldest_cursor = max(oldest_cursor, last_cursor + 1 - ?)"
                                     " WHERE account_id = ? RETURNING last_cursor",
                                     retainedMutations, accountId);
    row.step();
    return row.int64(0);
}

std::int64_t compact(Connection &connection, std::int64_t accountId)
{
    ensureRow(connection, accountId);
    Statement row = connection.query("UPDATE drive_accounts SET oldest_cursor = last_cursor"
                                     " WHERE account_id = ? RETURNING last_cursor",
                                     accountId);
    row.step();
    return row.int64(0);
}

} // namespace OrvelanNimbal::Service::ChangeFeed
