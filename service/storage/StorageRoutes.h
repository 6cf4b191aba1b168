// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace httplib {
class Server;
}

namespace OrvelanNimbal::Service {

class ServiceContext;

// Content at pre-signed addresses.
void installStorageRoutes(httplib::Server &server, ServiceContext &context);

} // namespace OrvelanNimbal::Service
