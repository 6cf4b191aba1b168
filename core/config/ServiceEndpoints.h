// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

namespace OrvelanNimbal {

// Where the extension and the command line find the service and the session the application
// stored: the compiled-in addresses and the shared keychain items.
//
// Builds whose compiled-in service is on loopback (the demo's and the tests') also honour
// NIMBAL_FILEPROVIDER_API_BASE_URL (a loopback address only) and
// NIMBAL_FILEPROVIDER_KEYCHAIN_SUFFIX, so that each integration test points its own daemon and
// command line at its own service on a random port and its own keychain items, and
// NIMBAL_FILEPROVIDER_BUS_ADDRESS, the private bus where a test runs the extension while the
// keychain stays on the session bus. A build against the real service has no such code at all.
struct ServiceEndpoints {
    QUrl apiBaseURL;
    QString sessionService;
    QString trustedDeviceService;
    QString extensionBusAddress; // empty: the session bus

    static ServiceEndpoints fromBuild();
    static bool acceptsTestOverrides();
};

} // namespace OrvelanNimbal
