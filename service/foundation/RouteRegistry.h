// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace httplib {
class Server;
}

namespace OrvelanNimbal::Service {

class ServiceContext;

// A family of routes (auth, quota, folders, uploads, events…) installs its handlers on the
// server. Each family registers itself, from its own file, with one line:
//   [[maybe_unused]] const bool registered = RouteRegistry::add({"auth", &installAuthRoutes});
// so that adding a family never touches another's file.
struct RouteFamily {
    using Installer = void (*)(httplib::Server &server, ServiceContext &context);

    std::string name;
    Installer install = nullptr;
    bool testControlsOnly = false; // installed only when the service runs with --test-controls
};

class RouteRegistry {
public:
    static bool add(RouteFamily family);
    // In name order, so that the server is the same from one start to the next.
    static std::vector<RouteFamily> families();
};

} // namespace OrvelanNimbal::Service
