// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/ServiceContext.h"

#include "foundation/Database.h"

namespace OrvelanNimbal::Service {

ServiceContext::ServiceContext(ServiceConfig config, std::unique_ptr<Database> database,
                               std::shared_ptr<ServiceClock> clock)
    : m_config(std::move(config))
    , m_database(std::move(database))
    , m_clock(std::move(clock)) {}

ServiceContext::~ServiceContext() = default;

} // namespace OrvelanNimbal::Service
