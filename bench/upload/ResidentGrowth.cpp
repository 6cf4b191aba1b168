// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/ResidentGrowth.h"

#include "listing/PeakMemory.h"

namespace Bench {

bool ResidentGrowth::start()
{
    const bool reset = startPeakMeasure();
    m_start = readResidentMemory().current;
    return reset;
}

long ResidentGrowth::peakGrowth() const
{
    return readResidentMemory().peak - m_start;
}

} // namespace Bench
