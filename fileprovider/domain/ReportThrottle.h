// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace OrvelanNimbal::FileProvider {

// Passes on a stream of changes at most once per interval: the first change of a quiet spell at
// once (a transfer shows it started without waiting), the later ones folded into one report at
// the end of the interval.
class ReportThrottle : public QObject {
public:
    ReportThrottle(std::chrono::milliseconds interval, std::function<void()> report);

    void changed();

private:
    void intervalEnded();

    std::function<void()> m_report;
    QTimer m_timer;
    bool m_pending = false;
};

} // namespace OrvelanNimbal::FileProvider
