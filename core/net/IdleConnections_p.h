// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <vector>

class QTcpSocket;
class QTimer;

namespace OrvelanNimbal {

// Connections that an answer left open, kept a little while for the next request to the same
// place. The parts of an upload follow one another to the same storage host: on one connection
// they skip a handshake each (a TLS one in production) and keep the window the transfer has
// already opened, instead of starting slow on a new connection every few megabytes.
//
// One set per thread, used from that thread only; the sockets belong to it. A kept connection
// is dropped when the peer closes it or sends anything unasked, and after `idleLimit`: servers
// commonly close idle connections after five seconds, and a connection chosen just as its
// server drops it makes a request fail for nothing.
class IdleConnections {
public:
    static constexpr std::chrono::milliseconds idleLimit{4000};
    static constexpr std::size_t mostPerOrigin = 4;

    IdleConnections() = default;
    IdleConnections(const IdleConnections &) = delete;
    IdleConnections &operator=(const IdleConnections &) = delete;
    ~IdleConnections();

    // The calling thread's set.
    static IdleConnections &ofThisThread();
    // "scheme://host:port", what a connection may be used again for.
    static QString originOf(const QUrl &url);

    // A connection to `origin` still open, or null. It is the caller's from then on.
    std::unique_ptr<QTcpSocket> take(const QString &origin);
    // Keeps `socket`, connected to `origin` and with nothing unread, for a later take().
    void keep(const QString &origin, std::unique_ptr<QTcpSocket> socket);

private:
    struct Idle {
        QString origin;
        std::unique_ptr<QTcpSocket> socket;
        // Also the context of the watch on the socket; declared last, so it goes first.
        std::unique_ptr<QTimer> expiry;
    };

    void drop(QTcpSocket *socket);
    static std::unique_ptr<QTcpSocket> release(Idle &idle);

    std::vector<Idle> m_idle; // oldest first
};

} // namespace OrvelanNimbal
