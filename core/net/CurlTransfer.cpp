// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/CoreLogging.h"
#include "net/CurlErrors_p.h"
#include "net/CurlMulti_p.h"
#include "net/CurlTransfer_p.h"

#include <cstring>
#include <limits>

namespace OrvelanNimbal {

namespace {

// Bodies are received and sent in pieces this large: on a fast link, fewer and larger reads
// and writes; curl's defaults are sized for small devices.
constexpr long receiveBufferBytes = 512 * 1024;
constexpr long sendBufferBytes = 512 * 1024;
// Room left after a whole body, so that the JSON reader can parse it in place.
constexpr qsizetype bodyPadding = 64;
// A whole body announced larger than this is not reserved in advance: the announcement is
// the server's word, the memory ours.
constexpr qint64 mostReserved = 64 * 1024 * 1024;

QString originOf(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return QStringLiteral("%1://%2:%3")
        .arg(scheme, url.host(QUrl::FullyEncoded).toLower())
        .arg(url.port(scheme == u"https" ? 443 : 80));
}

// "HTTP/1.1 204 No Content", "HTTP/2 200": the status, or 0 when the line is not a status line.
int statusOf(QByteArrayView line)
{
    if (!line.startsWith("HTTP/"))
        return 0;
    const qsizetype space = line.indexOf(' ');
    if (space < 0 || line.size() < space + 4)
        return 0;
    bool ok = false;
    const int status = line.sliced(space + 1, 3).toInt(&ok);
    return ok ? status : 0;
}

bool sendsBody(const HttpRequest &request)
{
    return !request.body.isEmpty() || request.method == "POST" || request.method == "PUT"
           || request.method == "PATCH";
}

} // namespace

CurlTransfer::CurlTransfer(std::shared_ptr<CurlMulti> multi, HttpRequest request,
                           CancellationToken cancel, qsizetype bufferBytes)
    : m_multi(std::move(multi))
    , m_request(std::move(request))
    , m_origin(originOf(m_request.url))
    , m_bufferBytes(bufferBytes)
    , m_handle(curl_easy_init())
    , m_cancel(std::move(cancel))
{
    m_sinceStart.start();
    const QString scheme = m_request.url.scheme().toLower();
    if (!m_handle) {
        m_phase = Phase::done;
        m_failure =
            std::make_exception_ptr(DriveError::transport(QStringLiteral("mémoire insuffisante")));
        return;
    }
    if (m_cancel.isCancelled()) {
        m_phase = Phase::done;
        m_failure = std::make_exception_ptr(OperationCancelled());
        return;
    }
    if ((scheme != u"http" && scheme != u"https") || m_request.url.host().isEmpty()) {
        m_phase = Phase::done;
        m_failure = std::make_exception_ptr(
            DriveError::transport(QStringLiteral("URL invalide : ") + loggedURL(m_request.url)));
        return;
    }
    configure();
    m_idle.setSingleShot(true);
    QObject::connect(&m_idle, &QTimer::timeout, &m_context, [this] { checkIdle(); });
    // A cancel may come from any thread; the transfer is only touched on its own.
    m_cancelled = m_cancel.onCancel([this] {
        QMetaObject::invokeMethod(
            &m_context, [this] { fail(std::make_exception_ptr(OperationCancelled())); },
            Qt::QueuedConnection);
    });
    m_multi->start(this);
}

CurlTransfer::~CurlTransfer()
{
    m_cancelled.reset();
    if (m_phase != Phase::done)
        m_multi->remove(this);
    if (m_handle)
        curl_easy_cleanup(m_handle);
    curl_slist_free_all(m_headers);
}

void CurlTransfer::configure()
{
    CURL *h = m_handle;
    curl_easy_setopt(h, CURLOPT_PRIVATE, this);
    curl_easy_setopt(h, CURLOPT_URL, m_request.url.toEncoded().constData());
    curl_easy_setopt(h, CURLOPT_SHARE, m_multi->share());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // Only the web: an address of another kind could make curl write a file or run a command.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    // Never followed: an API answer is the answer, and a token must not travel to wherever a
    // redirection points.
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    // Certificates and host names are always checked (curl's defaults, stated so that nobody
    // wonders).
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    // HTTP/2 when the server offers it over TLS; a connection known to carry it takes further
    // requests alongside. (Not told to wait for one: a request would then sit behind a
    // connection that turns out to be HTTP/1.1 and busy, the event stream's for one.)
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_2TLS));
    // Proxies come from the environment (http_proxy, https_proxy, all_proxy, no_proxy), as
    // every Linux program reads them; credentials in the proxy's address are offered with
    // whichever scheme the proxy asks for.
    curl_easy_setopt(h, CURLOPT_PROXYAUTH, long(CURLAUTH_ANY));
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(h, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, receiveBufferBytes);
    curl_easy_setopt(h, CURLOPT_UPLOAD_BUFFERSIZE, sendBufferBytes);

    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &CurlTransfer::onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CurlTransfer::onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);

    for (const auto &[name, value] : m_request.headers) {
        // Compressed answers only when the request asks for them (the API's JSON does; content
        // never, it would only cost the server), and then curl decodes them.
        if (name.compare("Accept-Encoding", Qt::CaseInsensitive) == 0) {
            curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, value.constData());
            continue;
        }
        // "Name;" is how curl is told to send a header whose value is empty.
        const QByteArray line = value.isEmpty() ? name + ';' : name + ": " + value;
        m_headers = curl_slist_append(m_headers, line.constData());
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, m_headers);

    const QByteArray &method = m_request.method;
    if (method == "HEAD") {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else if (sendsBody(m_request)) {
        // The body is read as it goes out. Above a mebibyte curl first asks whether the server
        // wants it ("Expect: 100-continue"): a refusal (413, 401, 403…) then comes back as the
        // answer it is, before a byte of the body has been sent.
        m_body.emplace(m_request.body, [this] { bodyReady(); });
        curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(m_request.body.size()));
        curl_easy_setopt(h, CURLOPT_READFUNCTION, &CurlTransfer::onUpload);
        curl_easy_setopt(h, CURLOPT_READDATA, this);
        curl_easy_setopt(h, CURLOPT_SEEKFUNCTION, &CurlTransfer::onSeek);
        curl_easy_setopt(h, CURLOPT_SEEKDATA, this);
        if (method != "PUT")
            curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method.constData());
    } else if (method != "GET") {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method.constData());
    }
}

void CurlTransfer::willBegin()
{
    m_phase = Phase::running;
    noteActivity();
    if (m_request.timeout > 0)
        m_idle.start(int(m_request.timeout * 1000));
}

// --- curl's callbacks: never a wait, never a call back into curl's multi interface ---

size_t CurlTransfer::onHeader(char *data, size_t size, size_t count, void *self)
{
    return static_cast<CurlTransfer *>(self)->receiveHeader(
        QByteArrayView(data, qsizetype(size * count)));
}

size_t CurlTransfer::onBody(char *data, size_t size, size_t count, void *self)
{
    return static_cast<CurlTransfer *>(self)->receiveBody(data, size * count);
}

size_t CurlTransfer::onUpload(char *into, size_t size, size_t count, void *self)
{
    return static_cast<CurlTransfer *>(self)->sendBody(into, size * count);
}

int CurlTransfer::onSeek(void *self, curl_off_t offset, int origin)
{
    // A request is sent again from its first byte when a reused connection turns out to have
    // been closed by the server: nothing else is ever asked.
    auto *transfer = static_cast<CurlTransfer *>(self);
    if (origin != SEEK_SET || offset != 0 || !transfer->m_body)
        return CURL_SEEKFUNC_CANTSEEK;
    transfer->m_body->rewind();
    return CURL_SEEKFUNC_OK;
}

size_t CurlTransfer::receiveHeader(QByteArrayView line)
{
    noteActivity();
    if (m_headDone)
        return size_t(line.size()); // trailers of a chunked body: not used
    const QByteArrayView trimmed = line.trimmed();
    if (const int status = statusOf(trimmed)) {
        // A new head: an interim answer (100 Continue) is followed by the real one.
        m_response = {};
        m_response.statusCode = status;
    } else if (trimmed.isEmpty()) {
        // A proxy's demand for credentials is followed by the same request with them, and
        // its answer; it is the answer only when nothing follows it.
        if (m_response.statusCode >= 200 && m_response.statusCode != 407)
            completeHead();
    } else if (const qsizetype colon = trimmed.indexOf(':'); colon > 0) {
        m_response.headers.append({trimmed.first(colon).trimmed().toByteArray(),
                                   trimmed.sliced(colon + 1).trimmed().toByteArray()});
    }
    return size_t(line.size());
}

void CurlTransfer::completeHead()
{
    m_headDone = true;
    if (m_bufferBytes < 0) {
        const auto length = m_response.header("Content-Length");
        const qint64 announced = length ? length->trimmed().toLongLong() : 0;
        if (announced > 0)
            m_received.reserve(qsizetype(std::min(announced, mostReserved)) + bodyPadding);
    }
    wake();
}

size_t CurlTransfer::receiveBody(const char *data, size_t length)
{
    noteActivity();
    if (!m_headDone)
        completeHead();
    if (m_bufferBytes >= 0 && m_received.size() >= m_bufferBytes) {
        // The reader is behind: the bytes stay with curl, and the connection is no longer read
        // until the reader takes what it has.
        m_receivePaused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    // Room for what the reader will likely take at once: growing piece by piece would copy
    // every byte again at each doubling.
    if (m_received.isEmpty() && m_bufferBytes > 0)
        m_received.reserve(std::min<qsizetype>(m_bufferBytes, qsizetype(length) * 16));
    m_received.append(data, qsizetype(length));
    if (m_received.size() >= m_wanted)
        wake();
    return length;
}

size_t CurlTransfer::sendBody(char *into, size_t most)
{
    noteActivity();
    const std::optional<std::size_t> copied = m_body->read(into, most);
    if (copied)
        return *copied;
    if (m_body->failure())
        return CURL_READFUNC_ABORT; // finish() reports the body's failure
    // The next block of the file is still being read: sending resumes in bodyReady().
    m_sendPaused = true;
    return CURL_READFUNC_PAUSE;
}

// --- Driven from the event loop ---

void CurlTransfer::bodyReady()
{
    if (m_phase != Phase::running)
        return;
    if (const std::exception_ptr failure = m_body->failure()) {
        fail(failure);
        return;
    }
    if (m_sendPaused) {
        m_sendPaused = false;
        applyPause();
    }
}

void CurlTransfer::applyPause()
{
    noteActivity();
    curl_easy_pause(m_handle,
                    (m_receivePaused ? CURLPAUSE_RECV : 0) | (m_sendPaused ? CURLPAUSE_SEND : 0));
}

void CurlTransfer::checkIdle()
{
    if (m_phase != Phase::running)
        return;
    const qint64 limit = qint64(m_request.timeout * 1000);
    // A transfer paused by us (a reader behind, a file block on its way) is not idle.
    if (m_receivePaused || m_sendPaused)
        noteActivity();
    const qint64 idle = m_sinceActivity.elapsed();
    if (idle >= limit) {
        fail(std::make_exception_ptr(
            DriveError::transport(QStringLiteral("délai d'attente dépassé"))));
        return;
    }
    m_idle.start(int(limit - idle));
}

void CurlTransfer::finish(CURLcode result)
{
    if (m_phase == Phase::done)
        return;
    m_multi->remove(this);
    m_phase = Phase::done;
    m_idle.stop();
    if (!m_failure) {
        if (result != CURLE_OK && m_body && m_body->failure())
            m_failure = m_body->failure();
        else if (result != CURLE_OK)
            m_failure = std::make_exception_ptr(transportErrorOf(result, m_handle, m_request.url));
        else if (m_response.statusCode >= 200)
            m_headDone = true;
        else
            m_failure =
                std::make_exception_ptr(DriveError::transport(QStringLiteral("réponse non HTTP")));
    }
    log(result);
    wake();
}

void CurlTransfer::fail(std::exception_ptr failure)
{
    if (m_phase == Phase::done)
        return;
    m_failure = std::move(failure);
    // Off the multi handle at once: an unfinished transfer's connection is closed with it.
    if (m_phase == Phase::running || m_phase == Phase::waiting)
        m_multi->remove(this);
    m_phase = Phase::done;
    m_idle.stop();
    log(CURLE_ABORTED_BY_CALLBACK);
    wake();
}

void CurlTransfer::log(CURLcode result) const
{
    if (!lcClient().isDebugEnabled())
        return;
    const qint64 ms = m_sinceStart.elapsed();
    const QString where = loggedURL(m_request.url);
    if (m_failure) {
        QString reason = QStringLiteral("annulé");
        try {
            std::rethrow_exception(m_failure);
        } catch (const DriveError &error) {
            reason = error.text();
        } catch (const std::exception &error) {
            reason = QString::fromUtf8(error.what());
        }
        qCDebug(lcClient, "transfert : %s %s échoue après %lld ms (%s ; curl %d)",
                m_request.method.constData(), qUtf8Printable(where), static_cast<long long>(ms),
                qUtf8Printable(reason), int(result));
        return;
    }
    curl_off_t received = 0;
    curl_off_t sent = 0;
    long version = 0;
    curl_easy_getinfo(m_handle, CURLINFO_SIZE_DOWNLOAD_T, &received);
    curl_easy_getinfo(m_handle, CURLINFO_SIZE_UPLOAD_T, &sent);
    curl_easy_getinfo(m_handle, CURLINFO_HTTP_VERSION, &version);
    qCDebug(lcClient, "transfert : %s %s → %d en %lld ms (%lld octets envoyés, %lld reçus, %s)",
            m_request.method.constData(), qUtf8Printable(where), m_response.statusCode,
            static_cast<long long>(ms), static_cast<long long>(sent),
            static_cast<long long>(received),
            version == CURL_HTTP_VERSION_2_0 ? "HTTP/2" : "HTTP/1.1");
}

// --- The reading side ---

void CurlTransfer::wake()
{
    if (m_waiter)
        m_waiter->fire();
}

QCoro::Task<> CurlTransfer::news()
{
    auto waiter = std::make_shared<Wakeup>();
    m_waiter = waiter;
    co_await waiter->wait();
}

QCoro::Task<HttpResponse> CurlTransfer::head()
{
    while (!m_headDone && m_phase != Phase::done)
        co_await news();
    if (!m_headDone)
        std::rethrow_exception(m_failure);
    co_return m_response;
}

QCoro::Task<QByteArray> CurlTransfer::read(qsizetype atLeast)
{
    // More than the buffer holds would never come: receiving pauses when it is full.
    const qsizetype enough =
        std::clamp<qsizetype>(atLeast, 1, std::max<qsizetype>(m_bufferBytes, 1));
    m_wanted = enough; // the reader is woken for no less
    for (;;) {
        if (m_received.size() >= enough || (!m_received.isEmpty() && m_phase == Phase::done)) {
            QByteArray taken = std::exchange(m_received, {});
            if (m_receivePaused && m_phase == Phase::running) {
                m_receivePaused = false;
                applyPause(); // may deliver the held bytes at once, into m_received
            }
            co_return taken;
        }
        if (m_phase == Phase::done) {
            if (m_failure)
                std::rethrow_exception(m_failure);
            co_return {};
        }
        co_await news();
    }
}

QCoro::Task<HttpResult> CurlTransfer::whole()
{
    m_wanted = std::numeric_limits<qsizetype>::max(); // woken at the end only
    while (m_phase != Phase::done)
        co_await news();
    if (m_failure)
        std::rethrow_exception(m_failure);
    if (m_received.capacity() - m_received.size() < bodyPadding)
        m_received.reserve(m_received.size() + bodyPadding);
    co_return HttpResult{std::move(m_received), m_response};
}

} // namespace OrvelanNimbal
