// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AsyncTest.h"
#include "FakeTransport.h"
#include "ManualClock.h"
#include "auth/InMemoryStores.h"
#include "client/ApiClient.h"

namespace OrvelanNimbal::Testing {

// An ApiClient over a scripted transport, in-memory stores and a manual clock, with the
// pipeline's usual settings: waits of 400 ms doubled, a 60 s request timeout.
struct ClientHarness {
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<InMemorySessionStore> sessions = std::make_shared<InMemorySessionStore>();
    std::shared_ptr<InMemoryTrustedDeviceStore> devices =
        std::make_shared<InMemoryTrustedDeviceStore>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ApiClient> client;

    explicit ClientHarness(int maxAttempts = 3,
                           QUrl base = QUrl(QStringLiteral("https://api.test/api/v1")))
        : client(ApiClient::create(
            DriveConfiguration(std::move(base), maxAttempts, std::chrono::milliseconds(400), 60),
            transport, sessions, devices, clock))
    {}

    // Holds `session` as a launch that finds it stored would.
    void signIn(const DriveSession &session)
    {
        runAsync(sessions->save(session));
        runAsync(client->restoreSession());
    }

    std::optional<DriveSession> stored() const { return runAsync(sessions->load()); }
    const HttpRequest &request(qsizetype index) const { return transport->requests().at(index); }
};

} // namespace OrvelanNimbal::Testing
