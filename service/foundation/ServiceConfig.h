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
    int workerThreads = 160; // event streams hold a thread each for as long as they stay open
};

} // namespace OrvelanNimbal::Service
