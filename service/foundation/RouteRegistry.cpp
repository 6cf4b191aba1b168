// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/RouteRegistry.h"

#include <algorithm>
#include <mutex>

namespace OrvelanNimbal::Service {

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<RouteFamily> families;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

} // namespace

bool RouteRegistry::add(RouteFamily family)
{
    Registry &instance = registry();
    std::lock_guard lock(instance.mutex);
    instance.families.push_back(std::move(family));
    return true;
}

std::vector<RouteFamily> RouteRegistry::families()
{
    Registry &instance = registry();
    std::lock_guard lock(instance.mutex);
    std::vector<RouteFamily> families = instance.families;
    std::sort(families.begin(), families.end(),
              [](const RouteFamily &a, const RouteFamily &b) { return a.name < b.name; });
    return families;
}

} // namespace OrvelanNimbal::Service
