// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/socket.h>

namespace OrvelanNimbal::Service {

class PushedBody;

// One client connection, from its acceptance to its close. The connection loop owns it while
// it waits for a request; a worker owns it while it answers one. Bytes read ahead (the rest of
// a head, the start of the next request) stay with it from one owner to the next.
class Connection {
public:
    // Takes the socket, already non-blocking.
    Connection(int socket, std::string peer, int peerPort);
    ~Connection(); // closes the socket
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    int socket() const { return m_socket; }
    // The client's address, without its port: what per-client limits count.
    const std::string &peer() const { return m_peer; }
    int peerPort() const { return m_peerPort; }

    // Bytes received and not yet handed to the request parser.
    std::string_view unread() const;
    void append(const char *data, std::size_t length);
    // Moves up to `length` unread bytes into `into`; how many.
    std::size_t take(char *into, std::size_t length);
    // Whether the unread bytes hold a whole request head (its blank line).
    bool hasWholeHead() const;
    // The request line's method and target, once a head is in; empty otherwise.
    std::string_view method() const;
    std::string_view target() const;

    // Set by the worker that answers, read by the loop when it takes the connection back.
    int requestsAnswered = 0;
    bool keepAlive = true; // false: close once the answer (pushed body included) is out
    std::shared_ptr<PushedBody> pushedBody;

private:
    std::string_view requestLine() const;

    int m_socket;
    std::string m_peer;
    int m_peerPort;
    std::string m_buffer;
    std::size_t m_offset = 0;
};

// The numeric address and port of a socket address (IPv4 or IPv6); empty and -1 otherwise.
void describeAddress(const sockaddr_storage &address, std::string &ip, int &port);

} // namespace OrvelanNimbal::Service
