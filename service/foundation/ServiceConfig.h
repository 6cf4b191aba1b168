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

    // A connection holds a worker of the server's pool for as long as it lasts, so the pool is
    // sized for everything the service holds at once: every event stream it takes, as many
    // connections kept alive between requests, and workers for the calls themselves (uploads
    // and downloads included). Further connections wait for a worker.
    int streamLimit = 500;      // event streams open at once, all accounts together
    int idleConnections = 500;  // connections kept alive between two requests
    int callWorkers = 64;       // requests being answered
    int workers() const { return streamLimit + idleConnections + callWorkers; }

    // A connection kept alive ends after this long without a request, and after this many.
    int idleSeconds = 5;
    int requestsPerConnection = 100;
    // A client that goes quiet in the middle of a request or stops reading an answer.
    int ioTimeoutSeconds = 5;
};

} // namespace OrvelanNimbal::Service
