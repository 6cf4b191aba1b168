// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/ConnectionStream.h"

#include "http/Connection.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace OrvelanNimbal::Service {

ConnectionStream::ConnectionStream(Connection &connection, std::chrono::milliseconds timeout)
    : m_connection(connection)
    , m_timeoutMilliseconds(int(timeout.count()))
{}

bool ConnectionStream::waitFor(short events) const
{
    pollfd watched{m_connection.socket(), events, 0};
    for (;;) {
        const int ready = ::poll(&watched, 1, m_timeoutMilliseconds);
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}

bool ConnectionStream::is_readable() const
{
    return !m_connection.unread().empty() || waitFor(POLLIN);
}

bool ConnectionStream::is_writable() const
{
    return waitFor(POLLOUT);
}

ssize_t ConnectionStream::read(char *ptr, size_t size)
{
    if (!m_connection.unread().empty()) {
        const auto taken = ssize_t(m_connection.take(ptr, size));
        m_read += taken;
        return taken;
    }
    for (;;) {
        const ssize_t received = ::recv(m_connection.socket(), ptr, size, 0);
        if (received >= 0) {
            m_read += received;
            return received;
        }
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !waitFor(POLLIN))
            return -1;
    }
}

ssize_t ConnectionStream::write(const char *ptr, size_t size)
{
    for (;;) {
        // Never SIGPIPE: a client that left is an error to return, not a reason to die.
        const ssize_t sent = ::send(m_connection.socket(), ptr, size, MSG_NOSIGNAL);
        if (sent >= 0)
            return sent;
        if (errno == EINTR)
            continue;
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !waitFor(POLLOUT))
            return -1;
    }
}

void ConnectionStream::get_remote_ip_and_port(std::string &ip, int &port) const
{
    ip = m_connection.peer();
    port = m_connection.peerPort();
}

void ConnectionStream::get_local_ip_and_port(std::string &ip, int &port) const
{
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (::getsockname(m_connection.socket(), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        address.ss_family = AF_UNSPEC;
    describeAddress(address, ip, port);
}

socket_t ConnectionStream::socket() const
{
    return m_connection.socket();
}

} // namespace OrvelanNimbal::Service
