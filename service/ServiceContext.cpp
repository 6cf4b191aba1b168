// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServiceContext.h"

#include "foundation/Database.h"

namespace OrvelanNimbal::Service {

ServiceContext::ServiceContext(ServiceConfig config, std::unique_ptr<Database> database,
                               std::shared_ptr<ServiceClock> clock)
    : m_config(std::move(config))
    , m_database(std::move(database))
    , m_clock(std::move(clock))
    , eventStreams(m_config.streamLimit)
    , contentStore(ContentStore::inDataDirectory(m_config.dataDirectory))
    , partStore(PartStore::inDataDirectory(m_config.dataDirectory))
    , uploadExpiry(*this)
{}

ServiceContext::~ServiceContext() = default;

void ServiceContext::requestStop()
{
    if (!m_stopping.exchange(true))
        eventStreams.stop();
}

} // namespace OrvelanNimbal::Service
