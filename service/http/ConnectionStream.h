// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <httplib.h>

namespace OrvelanNimbal::Service {

class Connection;

// The HTTP library's view of a connection while a worker answers it: the bytes the loop read
// ahead come first, then the socket, which stays non-blocking; a read or a write waits for the
// socket at most the given time, and fails after it, as a client gone quiet.
class ConnectionStream final : public httplib::Stream {
public:
    ConnectionStream(Connection &connection, std::chrono::milliseconds timeout);

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char *ptr, size_t size) override;
    ssize_t write(const char *ptr, size_t size) override;
    void get_remote_ip_and_port(std::string &ip, int &port) const override;
    void get_local_ip_and_port(std::string &ip, int &port) const override;
    socket_t socket() const override;

    // Called once the head is parsed: what is read from then on is the body.
    void markBodyStart() { m_bodyStart = m_read; }
    std::int64_t bodyBytesRead() const { return m_bodyStart < 0 ? 0 : m_read - m_bodyStart; }

private:
    bool waitFor(short events) const;

    Connection &m_connection;
    int m_timeoutMilliseconds;
    std::int64_t m_read = 0;
    std::int64_t m_bodyStart = -1;
};

} // namespace OrvelanNimbal::Service
