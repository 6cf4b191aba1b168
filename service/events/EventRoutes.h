// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace httplib {
class Server;
}

namespace OrvelanNimbal::Service {

class ServiceContext;

// The live event stream, and its test controls.
void installEventStreamRoutes(httplib::Server &server, ServiceContext &context);
void installEventStreamControls(httplib::Server &server, ServiceContext &context);

} // namespace OrvelanNimbal::Service
