// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "http/ConnectionLoop.h"

#include <atomic>
#include <chrono>
#include <httplib.h>
#include <memory>

namespace OrvelanNimbal::Service {

class Connection;

// The HTTP library's server, with its routes, hooks and parser, but none of its connection
// handling: an accepted socket goes to the connection loop, and a worker answers one request
// at a time, whichever connection it came on. Between requests, a connection costs no worker.
class RequestServer final : public httplib::Server {
public:
    struct Settings {
        ConnectionLoop::Limits limits;
        std::chrono::milliseconds ioTimeout{5000}; // a worker's longest wait on a client
        int requestsPerConnection = 100;
    };

    // `dispatch` sends a connection with a whole head to the worker that will call answer().
    RequestServer(Settings settings, ConnectionLoop::Dispatch dispatch);
    ~RequestServer() override;

    ConnectionLoop &connections() { return m_loop; }

    // On a worker: answers the connection's next request and hands the connection back to the
    // loop: to wait for another, to be closed, or to push the rest of its answer.
    void answer(std::unique_ptr<Connection> connection);

    // Ends keep-alive: every answer from now on is the connection's last.
    void stopKeepingAlive() { m_stopping = true; }

private:
    bool process_and_close_socket(socket_t socket) override;
    void noteAnswer(const httplib::Request &request, httplib::Response &response);

    const Settings m_settings;
    ConnectionLoop m_loop;
    std::atomic<bool> m_stopping = false;
};

} // namespace OrvelanNimbal::Service
