// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "foundation/Schema.h"

#include <vector>

namespace OrvelanNimbal::Service {

// The tables of every part of the service, module by module, as openDataDirectory() migrates
// them.
std::vector<SchemaModule> serviceSchema();

} // namespace OrvelanNimbal::Service
