// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace Bench {

// How far this process's resident size rises above where it stood when the measure began:
// freed heap handed back and the kernel's peak reset first, then VmHWM minus that start.
class ResidentGrowth {
public:
    // False when the kernel refuses to reset the peak (the measure is then meaningless).
    bool start();
    // In kibibytes.
    long peakGrowth() const;
    long startKilobytes() const { return m_start; }

private:
    long m_start = 0;
};

} // namespace Bench
