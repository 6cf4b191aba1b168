// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace httplib {
class Server;
}

namespace OrvelanNimbal::Service {

class ServiceContext;

// The drive: listings and the change feed, folders and files changed, download grants, quota, thumbnails; and its test controls.
void installDriveReadRoutes(httplib::Server &server, ServiceContext &context);
void installDriveItemRoutes(httplib::Server &server, ServiceContext &context);
void installDownloadRoutes(httplib::Server &server, ServiceContext &context);
void installQuotaRoutes(httplib::Server &server, ServiceContext &context);
void installThumbnailRoutes(httplib::Server &server, ServiceContext &context);
void installDriveTestControls(httplib::Server &server, ServiceContext &context);

} // namespace OrvelanNimbal::Service
