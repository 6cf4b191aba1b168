// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Wakeup.h"
#include "net/BodyReader_p.h"
#include "net/HTTPTransport.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <curl/curl.h>
#include <memory>
#include <optional>

namespace OrvelanNimbal {

class CurlMulti;

// One request on the multi handle, from its start to its answer's last byte: the easy handle
// and its options, the body going out, the head and body coming in, the idle timeout and the
// cancellation. The answer is read by one coroutine at a time (head(), read() or whole()).
class CurlTransfer final : public HttpStream {
public:
    // `bufferBytes` < 0: the whole body is kept, for whole().
    CurlTransfer(std::shared_ptr<CurlMulti> multi, HttpRequest request, CancellationToken cancel,
                 qsizetype bufferBytes);
    ~CurlTransfer() override;

    QCoro::Task<HttpResponse> head() override;
    QCoro::Task<QByteArray> read(qsizetype atLeast = 1) override;
    // The whole answer once it is all there.
    QCoro::Task<HttpResult> whole();

    // --- For the multi handle ---
    CURL *handle() const { return m_handle; }
    const QString &origin() const { return m_origin; }
    // The transfer leaves its origin's queue for the multi handle.
    void willBegin();
    // curl is done with it, with `result`.
    void finish(CURLcode result);

private:
    enum class Phase { waiting, running, done };

    static size_t onHeader(char *data, size_t size, size_t count, void *self);
    static size_t onBody(char *data, size_t size, size_t count, void *self);
    static size_t onUpload(char *into, size_t size, size_t count, void *self);
    static int onSeek(void *self, curl_off_t offset, int origin);

    void configure();
    size_t receiveHeader(QByteArrayView line);
    void completeHead();
    size_t receiveBody(const char *data, size_t length);
    size_t sendBody(char *into, size_t most);
    // Ends the transfer with `failure`, at once; nothing more is read or sent.
    void fail(std::exception_ptr failure);
    void applyPause();
    void bodyReady();
    void noteActivity() { m_sinceActivity.restart(); }
    void checkIdle();
    void wake();
    QCoro::Task<> news();
    void log(CURLcode result) const;

    std::shared_ptr<CurlMulti> m_multi;
    HttpRequest m_request;
    QString m_origin;
    qsizetype m_bufferBytes;
    CURL *m_handle = nullptr;
    curl_slist *m_headers = nullptr;
    std::optional<BodyReader> m_body;
    Phase m_phase = Phase::waiting;

    HttpResponse m_response;
    bool m_headDone = false;
    QByteArray m_received;  // body bytes not yet taken
    qsizetype m_wanted = 1; // what the reader waits for
    bool m_receivePaused = false;
    bool m_sendPaused = false;
    std::exception_ptr m_failure;

    QObject m_context; // receives what other threads (a cancel) and timers ask of the transfer
    QTimer m_idle;
    QElapsedTimer m_sinceActivity;
    QElapsedTimer m_sinceStart;
    std::shared_ptr<Wakeup> m_waiter;
    CancellationToken m_cancel;
    CancellationRegistration m_cancelled; // last: gone before anything it may touch
};

} // namespace OrvelanNimbal
