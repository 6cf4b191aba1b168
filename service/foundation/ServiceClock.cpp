// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/ServiceClock.h"

#include <chrono>

namespace OrvelanNimbal::Service {

namespace {

class SystemServiceClock final : public ServiceClock {
public:
    std::int64_t now() const override
    {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
};

} // namespace

std::shared_ptr<ServiceClock> systemServiceClock()
{
    static const auto clock = std::make_shared<SystemServiceClock>();
    return clock;
}

} // namespace OrvelanNimbal::Service
