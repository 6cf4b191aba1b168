// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace Bench {

// Resident memory of this process, in kibibytes, as /proc/self/status reports it.
struct ResidentMemory {
    long current = 0; // VmRSS
    long peak = 0;    // VmHWM: the highest VmRSS since the process started or since resetPeak()
};

ResidentMemory readResidentMemory();

// Hands freed heap memory back to the system, then asks the kernel to start the peak anew from
// the current resident size, so that what came before the measure does not hide in the peak.
// False when the kernel refuses the reset (the peak then includes the process's earlier past).
bool startPeakMeasure();

} // namespace Bench
