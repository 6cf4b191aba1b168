// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace httplib {
class Server;
}

namespace OrvelanNimbal::Service {

class ServiceContext;

// Signing in: passwords, second factors, trusted devices, sign-out.
void installAuthRoutes(httplib::Server &server, ServiceContext &context);

} // namespace OrvelanNimbal::Service
