// SPDX-License-Identifier: GPL-3.0-or-later
// The storage bar: what the account uses and may use, in megabytes.
#include "auth/Authentication.h"
#include "drive/DriveRoutes.h"
#include "foundation/ApiPaths.h"
#include "foundation/JsonHttp.h"

#include <cmath>
#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

constexpr double bytesPerMegabyte = 1024.0 * 1024.0;

void quota(ServiceContext &context, const httplib::Request &request, httplib::Response &response)
{
    const auto account = authenticate(context, request, response);
    if (!account)
        return;
    // Two decimals are all a storage bar can show.
    const double used =
        std::round(double(account->storageUsedBytes) / bytesPerMegabyte * 100) / 100;
    sendJson(response, 200,
             QJsonObject{{QStringLiteral("quota_used"), used},
                         {QStringLiteral("quota_max"), double(account->quotaMaxMegabytes)}});
}

} // namespace

void installQuotaRoutes(httplib::Server &server, ServiceContext &context)
{
    server.Get(apiPrefix + "/drive/quota",
               [&context](const httplib::Request &request, httplib::Response &response) {
                   quota(context, request, response);
               });
}

} // namespace OrvelanNimbal::Service
