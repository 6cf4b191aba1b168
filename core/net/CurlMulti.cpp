// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/CurlMulti_p.h"
#include "net/CurlTransfer_p.h"

#include <algorithm>
#include <vector>

namespace OrvelanNimbal {

namespace {

// A notifier may be the one whose signal is being delivered: it is switched off now and
// deleted once that signal has returned.
void retire(std::unique_ptr<QSocketNotifier> &notifier)
{
    if (!notifier)
        return;
    notifier->setEnabled(false);
    notifier.release()->deleteLater();
}

} // namespace

CurlMulti::CurlMulti(int transfersPerOrigin)
    : m_transfersPerOrigin(std::max(1, transfersPerOrigin))
{
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Q_UNUSED(initialised);
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlMulti::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlMulti::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_PIPELINING, long(CURLPIPE_MULTIPLEX));
    // Enough idle connections kept for every origin in use to find one again.
    curl_multi_setopt(m_multi, CURLMOPT_MAXCONNECTS, long(4 * m_transfersPerOrigin));

    // TLS sessions and name lookups are kept by the share, which every transfer joins: a new
    // connection to a known server skips a full handshake.
    m_share = curl_share_init();
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);

    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
}

CurlMulti::~CurlMulti()
{
    // Transfers keep the multi alive while they exist, so none is left here.
    m_timer.stop();
    for (auto &[socket, watch] : m_sockets) {
        retire(watch.read);
        retire(watch.write);
    }
    curl_multi_cleanup(m_multi);
    curl_share_cleanup(m_share);
}

void CurlMulti::start(CurlTransfer *transfer)
{
    Origin &origin = m_origins[transfer->origin()];
    if (origin.running >= m_transfersPerOrigin) {
        origin.waiting.push_back(transfer);
        return;
    }
    ++origin.running;
    begin(transfer);
}

void CurlMulti::begin(CurlTransfer *transfer)
{
    transfer->willBegin();
    if (curl_multi_add_handle(m_multi, transfer->handle()) != CURLM_OK)
        transfer->finish(CURLE_FAILED_INIT);
}

void CurlMulti::remove(CurlTransfer *transfer)
{
    const auto found = m_origins.find(transfer->origin());
    if (found == m_origins.end())
        return;
    Origin &origin = found->second;
    const auto queued = std::find(origin.waiting.begin(), origin.waiting.end(), transfer);
    if (queued != origin.waiting.end()) {
        origin.waiting.erase(queued);
        return;
    }
    curl_multi_remove_handle(m_multi, transfer->handle());
    --origin.running;
    std::vector<CurlTransfer *> starting;
    while (origin.running + int(starting.size()) < m_transfersPerOrigin
           && !origin.waiting.empty()) {
        starting.push_back(origin.waiting.front());
        origin.waiting.pop_front();
    }
    origin.running += int(starting.size());
    if (origin.running == 0)
        m_origins.erase(found);
    for (CurlTransfer *next : starting)
        begin(next);
}

int CurlMulti::onSocket(CURL *, curl_socket_t socket, int what, void *self, void *)
{
    static_cast<CurlMulti *>(self)->watch(socket, what);
    return 0;
}

void CurlMulti::watch(curl_socket_t socket, int what)
{
    if (what == CURL_POLL_REMOVE) {
        const auto found = m_sockets.find(socket);
        if (found != m_sockets.end()) {
            retire(found->second.read);
            retire(found->second.write);
            m_sockets.erase(found);
        }
        return;
    }
    Watch &watch = m_sockets[socket];
    const auto enable = [&](std::unique_ptr<QSocketNotifier> &notifier, QSocketNotifier::Type type,
                            bool wanted, int event) {
        if (!wanted) {
            if (notifier)
                notifier->setEnabled(false);
            return;
        }
        if (!notifier) {
            notifier = std::make_unique<QSocketNotifier>(socket, type);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                             [this, socket, event] { act(socket, event); });
        }
        notifier->setEnabled(true);
    };
    enable(watch.read, QSocketNotifier::Read, what & CURL_POLL_IN, CURL_CSELECT_IN);
    enable(watch.write, QSocketNotifier::Write, what & CURL_POLL_OUT, CURL_CSELECT_OUT);
}

int CurlMulti::onTimer(CURLM *, long timeoutMs, void *self)
{
    auto *multi = static_cast<CurlMulti *>(self);
    // Never acted upon from inside curl: a deadline of 0 runs on the next turn of the loop.
    if (timeoutMs < 0)
        multi->m_timer.stop();
    else
        multi->m_timer.start(int(std::min<long>(timeoutMs, 24L * 3600 * 1000)));
    return 0;
}

void CurlMulti::act(curl_socket_t socket, int events)
{
    int running = 0;
    curl_multi_socket_action(m_multi, socket, events, &running);
    collectFinished();
}

void CurlMulti::collectFinished()
{
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CurlTransfer *transfer = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
        const CURLcode result = message->data.result;
        // The message dies with the handle's removal: everything needed is read first.
        transfer->finish(result);
    }
}

} // namespace OrvelanNimbal
