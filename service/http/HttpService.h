// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <httplib.h>

namespace OrvelanNimbal::Service {

class BodyRules;
class ServiceContext;

// Installs every route of the service on the server (main's table).
using RouteTable = void (*)(httplib::Server &server, ServiceContext &context);

// The HTTP/1.1 server: every route of the table on one loopback socket, served by cpp-httplib's
// own server, one connection per worker of its pool for as long as the connection lasts (its
// keep-alive, an event stream, an upload). The pool is sized for everything the service holds
// at once (ServiceConfig). On top of the library: bodies pass the rules of their route before a
// byte is read, an answer that leaves a body unread ends its connection, the access log carries
// no secret, and, with test controls, the faults a test asked for are applied before the real
// handlers run.
class HttpService {
public:
    HttpService(ServiceContext &context, RouteTable routes);
    ~HttpService();
    HttpService(const HttpService &) = delete;
    HttpService &operator=(const HttpService &) = delete;

    // Binds the configured host and port (0: a free one) and gives the port bound. Throws
    // std::runtime_error when the socket cannot be had.
    int bind();
    // Serves until stop(); call bind() first.
    void run();
    // From any thread.
    void stop();

private:
    void installHooks();
    void lengthenAcceptQueue();

    ServiceContext &m_context;
    const BodyRules &m_bodyRules;
    httplib::Server m_server;
    int m_listeningSocket = -1; // the library's own, seen when it sets the socket's options
};

} // namespace OrvelanNimbal::Service
