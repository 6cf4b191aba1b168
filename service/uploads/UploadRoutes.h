// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace httplib {
class Server;
}

namespace OrvelanNimbal::Service {

class ServiceContext;

// Uploads: direct, in parts (the API side and the storage side); and their test controls.
void installDirectUploadRoutes(httplib::Server &server, ServiceContext &context);
void installMultipartRoutes(httplib::Server &server, ServiceContext &context);
void installPartRoutes(httplib::Server &server, ServiceContext &context);
void installUploadTestControls(httplib::Server &server, ServiceContext &context);

} // namespace OrvelanNimbal::Service
