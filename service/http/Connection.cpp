// SPDX-License-Identifier: GPL-3.0-or-later
#include "http/Connection.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <unistd.h>

namespace OrvelanNimbal::Service {

Connection::Connection(int socket, std::string peer, int peerPort)
    : m_socket(socket)
    , m_peer(std::move(peer))
    , m_peerPort(peerPort)
{}

Connection::~Connection()
{
    ::close(m_socket);
}

std::string_view Connection::unread() const
{
    return std::string_view(m_buffer).substr(m_offset);
}

void Connection::append(const char *data, std::size_t length)
{
    // Bytes already taken are dropped first, so the buffer never grows past one head.
    if (m_offset > 0) {
        m_buffer.erase(0, m_offset);
        m_offset = 0;
    }
    m_buffer.append(data, length);
}

std::size_t Connection::take(char *into, std::size_t length)
{
    const std::size_t taken = std::min(length, m_buffer.size() - m_offset);
    std::memcpy(into, m_buffer.data() + m_offset, taken);
    m_offset += taken;
    if (m_offset == m_buffer.size()) {
        m_buffer.clear();
        m_offset = 0;
    }
    return taken;
}

bool Connection::hasWholeHead() const
{
    return unread().find("\r\n\r\n") != std::string_view::npos;
}

std::string_view Connection::requestLine() const
{
    const std::string_view bytes = unread();
    const std::size_t end = bytes.find("\r\n");
    return end == std::string_view::npos ? std::string_view() : bytes.substr(0, end);
}

std::string_view Connection::method() const
{
    const std::string_view line = requestLine();
    return line.substr(0, std::min(line.size(), line.find(' ')));
}

std::string_view Connection::target() const
{
    const std::string_view line = requestLine();
    const std::size_t start = line.find(' ');
    if (start == std::string_view::npos)
        return {};
    const std::string_view rest = line.substr(start + 1);
    return rest.substr(0, std::min(rest.size(), rest.find(' ')));
}

void describeAddress(const sockaddr_storage &address, std::string &ip, int &port)
{
    char text[INET6_ADDRSTRLEN] = {};
    port = -1;
    if (address.ss_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(&address);
        ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof(text));
        port = ntohs(v4->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&address);
        ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof(text));
        port = ntohs(v6->sin6_port);
    }
    ip = text;
}

} // namespace OrvelanNimbal::Service
