// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <httplib.h>
#include <memory>

namespace OrvelanNimbal::Service {

class BodyRules;
class Connection;
class RequestServer;
class ServiceContext;

// The HTTP/1.1 server: every registered family of routes on one loopback socket. Connections
// wait for their requests in the connection loop, requests are answered by two pools of
// workers (API calls, content transfers), bodies pass the rules of their route before a byte
// is read, the access log carries no secret, and, with test controls, the faults a test asked
// for are applied before the real handlers run.
class HttpService {
public:
    explicit HttpService(ServiceContext &context);
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
    void dispatch(std::unique_ptr<Connection> connection);
    bool isTransfer(const Connection &connection) const;

    ServiceContext &m_context;
    const BodyRules &m_bodyRules;
    httplib::ThreadPool m_apiWorkers;
    httplib::ThreadPool m_transferWorkers;
    std::unique_ptr<RequestServer> m_server;
    int m_listeningSocket = -1; // the library's own, seen when it sets the socket's options
};

} // namespace OrvelanNimbal::Service
