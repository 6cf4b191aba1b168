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
    // Requests are answered by two pools of workers: content going to and from the storage
    // (uploads, downloads) on one, everything else on the other, so that transfers never keep
    // API calls waiting. Connections between requests and event streams hold no worker at all.
    int apiWorkers = 32;
    int transferWorkers = 16;
    // Event streams open at once, all accounts together.
    int streamLimit = 1024;
};

} // namespace OrvelanNimbal::Service
