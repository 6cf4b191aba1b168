// SPDX-License-Identifier: GPL-3.0-or-later
#include "Session.h"

#include "CommandFailure.h"
#include "auth/KeychainError.h"
#include "auth/KeychainStores.h"
#include "config/OrvelanNimbal.h"
#include "config/ServiceEndpoints.h"
#include "net/CurlTransport.h"

namespace OrvelanNimbal::CommandLine {

std::shared_ptr<ApiClient> makeClient()
{
    const ServiceEndpoints endpoints = ServiceEndpoints::fromBuild();
    return ApiClient::create(
        DriveConfiguration(endpoints.apiBaseURL, 3, std::chrono::milliseconds(400), 60),
        std::make_shared<CurlTransport>(),
        std::make_shared<KeychainSessionStore>(endpoints.sessionService, appGroupIdentifier),
        std::make_shared<KeychainTrustedDeviceStore>(endpoints.trustedDeviceService,
                                                     appGroupIdentifier));
}

QCoro::Task<QString> signedInAccount(std::shared_ptr<ApiClient> client)
{
    bool restored = false;
    try {
        restored = co_await client->restoreSession();
    } catch (const KeychainError &error) {
        throw CommandFailure::from(error);
    } catch (const DriveError &) {
        // A stored item that does not read as a session is no session.
    }
    const std::optional<QString> account = client->account();
    if (!restored || !account)
        throw CommandFailure::notSignedIn();
    co_return *account;
}

} // namespace OrvelanNimbal::CommandLine
