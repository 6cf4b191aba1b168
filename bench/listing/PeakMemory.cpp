// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeakMemory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

namespace Bench {

ResidentMemory readResidentMemory()
{
    ResidentMemory memory;
    FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return memory;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0)
            memory.current = std::strtol(line + 6, nullptr, 10);
        else if (std::strncmp(line, "VmHWM:", 6) == 0)
            memory.peak = std::strtol(line + 6, nullptr, 10);
    }
    std::fclose(status);
    return memory;
}

bool startPeakMeasure()
{
    malloc_trim(0);
    // "5" resets the peak resident set size to the current one.
    FILE *clear = std::fopen("/proc/self/clear_refs", "w");
    if (!clear)
        return false;
    const bool written = std::fputs("5", clear) >= 0;
    return std::fclose(clear) == 0 && written;
}

} // namespace Bench
