// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServiceSchema.h"

#include "auth/Accounts.h"
#include "drive/DriveStore.h"
#include "updates/Releases.h"
#include "uploads/UploadSessions.h"

namespace OrvelanNimbal::Service {

std::vector<SchemaModule> serviceSchema()
{
    return {accountsSchema(), driveSchema(), releasesSchema(), uploadsSchema()};
}

} // namespace OrvelanNimbal::Service
