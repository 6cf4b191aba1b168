// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveChange.h"

#include "drive/ChangeFeed.h"
#include "drive/DriveStore.h"

namespace OrvelanNimbal::Service {

std::int64_t DriveChange::cursor()
{
    if (m_cursor == 0)
        m_cursor = ChangeFeed::advance(m_connection, m_accountId);
    return m_cursor;
}

void DriveChange::finish()
{
    if (happened())
        DriveStore::refreshStorageUsed(m_connection, m_accountId);
}

} // namespace OrvelanNimbal::Service
