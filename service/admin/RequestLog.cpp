// SPDX-License-Identifier: GPL-3.0-or-later
#include "admin/RequestLog.h"

namespace OrvelanNimbal::Service {

void RequestLog::record(const std::string &method, const std::string &path)
{
    std::lock_guard lock(m_mutex);
    ++m_counts[{method, path}];
}

int RequestLog::count(const std::string &method, const std::string &path) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_counts.find({method, path});
    return found == m_counts.end() ? 0 : found->second;
}

void RequestLog::clear()
{
    std::lock_guard lock(m_mutex);
    m_counts.clear();
}

} // namespace OrvelanNimbal::Service
