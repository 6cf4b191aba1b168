// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A DriveAPI over a scripted transport, signed in, with a clock that never really waits.

#include "AsyncTest.h"
#include "FakeTransport.h"
#include "ManualClock.h"
#include "api/DriveAPI.h"
#include "auth/InMemoryStores.h"

#include <QTest>

#include <functional>

namespace OrvelanNimbal::Testing {

struct DriveAPIHarness {
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ApiClient> client = ApiClient::create(
        DriveConfiguration(QUrl(QStringLiteral("https://api.test/api/v1")), 3,
                           std::chrono::milliseconds(400), 60),
        transport,
        std::make_shared<InMemorySessionStore>(DriveSession{
            QStringLiteral("ana@orvelan.net"), QStringLiteral("tok"), QStringLiteral("pw")}),
        std::make_shared<InMemoryTrustedDeviceStore>(), clock);
    DriveAPI api{client};

    DriveAPIHarness() { runAsync(client->restoreSession()); }

    qsizetype requestCount() const { return transport->requests().size(); }
    const HttpRequest &request() const { return transport->requests().at(0); }
    // The address as sent on the wire, after the API base.
    QString sentPath() const
    {
        return request()
            .url.toString(QUrl::FullyEncoded)
            .remove(QStringLiteral("https://api.test/api/v1"));
    }
};

// One call of an operation, run to its end, checking its result; its failure is rethrown.
using Operation = std::function<void(const DriveAPI &)>;

} // namespace OrvelanNimbal::Testing
