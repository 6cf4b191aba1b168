// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <curl/curl.h>
#include <deque>
#include <map>
#include <memory>
#include <unordered_map>

namespace OrvelanNimbal {

class CurlTransfer;

// One curl multi handle driven by the event loop of the thread that made it: a socket notifier
// per socket curl watches and one timer for curl's own deadlines, so transfers move only when
// their sockets are ready, without a thread of their own and without polling.
//
// Every transfer of a transport runs here, so connections (and, through the share, TLS
// sessions and name lookups) serve one transfer after another, and HTTP/2 carries several at
// once when the server offers it. At most `transfersPerOrigin` run at once towards one origin
// (scheme, host, port); the others wait their turn, their idle timeout not yet running.
class CurlMulti {
public:
    explicit CurlMulti(int transfersPerOrigin);
    CurlMulti(const CurlMulti &) = delete;
    CurlMulti &operator=(const CurlMulti &) = delete;
    ~CurlMulti();

    CURLSH *share() const { return m_share; }

    // Starts `transfer` now, or as soon as its origin has room.
    void start(CurlTransfer *transfer);
    // Takes `transfer` off the multi handle, or out of its origin's queue; finished or not. An
    // unfinished transfer's connection is closed.
    void remove(CurlTransfer *transfer);

private:
    struct Watch {
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };
    struct Origin {
        int running = 0;
        std::deque<CurlTransfer *> waiting;
    };

    static int onSocket(CURL *easy, curl_socket_t socket, int what, void *self, void *);
    static int onTimer(CURLM *, long timeoutMs, void *self);
    void watch(curl_socket_t socket, int what);
    void act(curl_socket_t socket, int events);
    void collectFinished();
    void begin(CurlTransfer *transfer);

    const int m_transfersPerOrigin;
    CURLM *m_multi = nullptr;
    CURLSH *m_share = nullptr;
    QTimer m_timer;
    std::unordered_map<curl_socket_t, Watch> m_sockets;
    std::map<QString, Origin> m_origins;
};

} // namespace OrvelanNimbal
