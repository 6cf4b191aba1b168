// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/StorageFaults.h"

namespace OrvelanNimbal::Service {

void StorageFaults::add(Fault fault, int count)
{
    std::lock_guard lock(m_mutex);
    for (int i = 0; i < count; ++i)
        m_queue.push_back(fault);
}

std::optional<StorageFaults::Fault> StorageFaults::take()
{
    std::lock_guard lock(m_mutex);
    if (m_queue.empty())
        return std::nullopt;
    const Fault fault = m_queue.front();
    m_queue.pop_front();
    return fault;
}

void StorageFaults::clear()
{
    std::lock_guard lock(m_mutex);
    m_queue.clear();
}

} // namespace OrvelanNimbal::Service
