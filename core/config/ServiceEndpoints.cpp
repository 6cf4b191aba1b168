// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ServiceEndpoints.h"

#include "config/OrvelanNimbal.h"

namespace OrvelanNimbal {

bool ServiceEndpoints::acceptsTestOverrides()
{
#ifdef NIMBAL_LOOPBACK_BUILD
    return true;
#else
    return false;
#endif
}

ServiceEndpoints ServiceEndpoints::fromBuild()
{
    ServiceEndpoints endpoints{
        defaultAPIBaseURL(), sessionKeychainService, trustedDeviceKeychainService, {}};
#ifdef NIMBAL_LOOPBACK_BUILD
    const QUrl api(qEnvironmentVariable("NIMBAL_FILEPROVIDER_API_BASE_URL"), QUrl::StrictMode);
    if (api.isValid() && api.scheme() == u"http" && api.host() == u"127.0.0.1")
        endpoints.apiBaseURL = api;
    const QString suffix = qEnvironmentVariable("NIMBAL_FILEPROVIDER_KEYCHAIN_SUFFIX");
    if (!suffix.isEmpty()) {
        endpoints.sessionService += suffix;
        endpoints.trustedDeviceService += suffix;
    }
    endpoints.extensionBusAddress = qEnvironmentVariable("NIMBAL_FILEPROVIDER_BUS_ADDRESS");
#endif
    return endpoints;
}

} // namespace OrvelanNimbal
