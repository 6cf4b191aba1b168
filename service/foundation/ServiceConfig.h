// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace OrvelanNimbal::Service {

// What `nimbal-service serve` was asked for.
struct ServiceConfig {
    std::filesystem::path dataDirectory; // the database and, later, stored content
    std::string host = "127.0.0.1";      // loopback only: this service is never exposed
    int port = 0;                        // 0 lets the system pick a free one
    bool testControls = false;           // the /_test/ routes exist only with this
    // The HTTP library answers each connection on a worker of a fixed pool, and an event stream
    // keeps its worker (asleep, not spinning) for as long as it stays open. Streams may take all
    // but the reserved workers, so API requests are answered however many streams are open.
    int workerThreads = 256;
    int workersReservedForRequests = 32;
};

} // namespace OrvelanNimbal::Service
