// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <chrono>
#include <map>
#include <string>
#include <string_view>

namespace OrvelanNimbal::Testing {

class LocalService;

// HTTP/1.1 spoken by hand over one socket, from a chosen loopback address (the whole of
// 127.0.0.0/8 is this machine): what well-behaved clients never send, and as many connections
// from as many "clients" as a test needs.
class RawConnection {
public:
    struct Answer {
        int status = -1; // -1: the connection closed, or nothing came in time
        std::map<std::string, std::string> headers; // names in lower case
        std::string body;
    };

    RawConnection(int port, const std::string &from = "127.0.0.1");
    ~RawConnection();
    RawConnection(const RawConnection &) = delete;
    RawConnection &operator=(const RawConnection &) = delete;

    bool isConnected() const { return m_socket >= 0; }
    // All of it, or false.
    bool send(std::string_view bytes);
    // The next answer: its head, and a body of its Content-Length (none for `headOnly`).
    Answer read(std::chrono::milliseconds timeout = std::chrono::seconds(10),
                bool headOnly = false);
    // Bytes as they come, at least one, for a chunked body left open (an event stream).
    std::string readSome(std::chrono::milliseconds timeout);
    // Whether the service ended the connection within `timeout` (bytes it sent are dropped).
    bool closedWithin(std::chrono::milliseconds timeout);

private:
    bool fill(std::chrono::milliseconds timeout);

    int m_socket = -1;
    std::string m_buffer;
};

// A request head and body: "Host" and "Content-Length" (for a body) are added.
std::string request(std::string_view method, std::string_view target,
                    const std::map<std::string, std::string> &headers = {},
                    std::string_view body = {});

// An answer's JSON. Qt's parser drops U+FEFF where it begins a string; read as an escape, it is
// kept, as a name needs.
QJsonDocument jsonOf(const RawConnection::Answer &answer);
std::string jsonText(const QJsonObject &object);

// A new account on the service (its address made unique from `tag`); gives the address.
QString addAccount(LocalService &service, const QString &tag, const std::string &password);

// An access token for the account, signed in over a connection of its own.
std::string signIn(int port, const std::string &email, const std::string &password,
                   const std::string &from = "127.0.0.1");

// The resident memory (VmHWM, its peak) of a process, in kilobytes; -1 when unreadable.
long peakResidentKilobytes(long long processId);

} // namespace OrvelanNimbal::Testing
