// SPDX-License-Identifier: GPL-3.0-or-later
#include "domain/ReportThrottle.h"

namespace OrvelanNimbal::FileProvider {

ReportThrottle::ReportThrottle(std::chrono::milliseconds interval, std::function<void()> report)
    : m_report(std::move(report))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, &ReportThrottle::intervalEnded);
}

void ReportThrottle::changed()
{
    if (m_timer.isActive()) {
        m_pending = true;
        return;
    }
    m_timer.start();
    m_report();
}

void ReportThrottle::intervalEnded()
{
    if (!std::exchange(m_pending, false))
        return;
    m_timer.start();
    m_report();
}

} // namespace OrvelanNimbal::FileProvider
