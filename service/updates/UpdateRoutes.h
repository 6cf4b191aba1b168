// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace httplib {
class Server;
}

namespace OrvelanNimbal::Service {

class ServiceContext;

// The application's update feed and release files.
void installUpdateRoutes(httplib::Server &server, ServiceContext &context);

} // namespace OrvelanNimbal::Service
