// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

namespace httplib {
class Server;
}

namespace OrvelanNimbal::Service {

class ServiceContext;

// The HTTP/1.1 server: every registered family of routes on one loopback socket, a large pool
// of workers, an access log without secrets, and, with test controls, the faults a test asked
// for applied before the real handlers run.
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

    ServiceContext &m_context;
    std::unique_ptr<httplib::Server> m_server;
    int m_listeningSocket = -1; // the library's own, seen when it sets the socket's options
};

} // namespace OrvelanNimbal::Service
