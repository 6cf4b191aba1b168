// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "LocalService.h"
#include "client/ApiClient.h"

#include <memory>

namespace Bench {

// The local service, started without its request log (a line per request would drown the
// figures), and a new account on it signed in on a client as the application builds one.
struct BenchAccount {
    std::unique_ptr<OrvelanNimbal::Testing::LocalService> service;
    QString email;
    std::shared_ptr<OrvelanNimbal::ApiClient> client;

    // Starts the service this benchmark was built with (or the one NIMBAL_SERVICE names). False,
    // with the reason on stderr under `bench`'s name, when it cannot.
    bool start(const char *bench, const char *servicePath);
};

} // namespace Bench
