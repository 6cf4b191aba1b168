// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace OrvelanNimbal::Service {

// Raises the process's limit of open files to the most the system allows it (its hard limit):
// every connection is a file, and the usual soft limit of 1024 would refuse connections long
// before memory or the workers run short. Gives the limit now in force.
std::int64_t raiseOpenFileLimit();

} // namespace OrvelanNimbal::Service
