// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace httplib {
class Server;
}

namespace OrvelanNimbal::Service {

class ServiceContext;

// Test controls of the service itself: accounts, faults, request counts, lifetimes, expiry.
void installAdminRoutes(httplib::Server &server, ServiceContext &context);

} // namespace OrvelanNimbal::Service
