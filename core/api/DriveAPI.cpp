// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/DriveAPI.h"

namespace OrvelanNimbal {

DriveAPI::DriveAPI(std::shared_ptr<ApiClient> client)
    : m_client(std::move(client))
{}

} // namespace OrvelanNimbal
