// SPDX-License-Identifier: GPL-3.0-or-later
#include "admin/AdminRoutes.h"
#include "auth/AuthRoutes.h"
#include "cli/CommandLine.h"
#include "drive/DriveRoutes.h"
#include "events/EventRoutes.h"
#include "ServiceContext.h"
#include "storage/StorageRoutes.h"
#include "updates/UpdateRoutes.h"
#include "uploads/UploadRoutes.h"

namespace {

using namespace OrvelanNimbal::Service;

// Every route of the service, area by area; each function's file lists its routes at its top.
void installRoutes(httplib::Server &server, ServiceContext &context)
{
    installAuthRoutes(server, context);
    installQuotaRoutes(server, context);
    installDriveReadRoutes(server, context);
    installDriveItemRoutes(server, context);
    installDownloadRoutes(server, context);
    installThumbnailRoutes(server, context);
    installDirectUploadRoutes(server, context);
    installMultipartRoutes(server, context);
    installPartRoutes(server, context);
    installStorageRoutes(server, context);
    installEventStreamRoutes(server, context);
    installUpdateRoutes(server, context);
    // Only for the tests (--test-controls): under /_test/.
    if (!context.config().testControls)
        return;
    installAdminRoutes(server, context);
    installDriveTestControls(server, context);
    installUploadTestControls(server, context);
    installEventStreamControls(server, context);
}

} // namespace

int main(int argc, char **argv)
{
    return runCommandLine(argc, argv, &installRoutes);
}
