// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/IdleConnections_p.h"
#include "net/OwnConnectionRequest_p.h"
#include "net/ResponseReader_p.h"
#include "async/Wakeup.h"
#include "errors/DriveError.h"

#include <QPointer>
#include <QSslSocket>
#include <QTimer>

#include <memory>

namespace OrvelanNimbal {

namespace {

constexpr qint64 writePiece = 1024 * 1024;
// Queued in the socket at most: enough to keep the connection busy between two wake-ups.
constexpr qint64 mostQueued = 2 * writePiece;

// Headers the connection writes itself.
bool isConnectionHeader(const QByteArray &name)
{
    const QByteArray lower = name.toLower();
    return lower == "host" || lower == "content-length" || lower == "connection"
           || lower == "transfer-encoding";
}

QByteArray requestHead(const HttpRequest &request)
{
    const QUrl &url = request.url;
    QByteArray target = url.path(QUrl::FullyEncoded).toUtf8();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toUtf8();
    QByteArray host = url.host(QUrl::FullyEncoded).toUtf8();
    if (host.contains(':'))
        host = '[' + host + ']';
    const bool tls = url.scheme().compare(u"https", Qt::CaseInsensitive) == 0;
    if (url.port() != -1 && url.port() != (tls ? 443 : 80))
        host += ':' + QByteArray::number(url.port());

    QByteArray head = request.method + ' ' + target + " HTTP/1.1\r\nHost: " + host
                      + "\r\nContent-Length: " + QByteArray::number(request.body.size()) + "\r\n";
    for (const auto &[name, value] : request.headers) {
        if (!isConnectionHeader(name))
            head += name + ": " + value + "\r\n";
    }
    return head + "\r\n";
}

// Plain for http: the TLS socket in plain mode warns of reads on its inner socket once the
// server has closed.
std::unique_ptr<QTcpSocket> newSocket(bool tls)
{
    if (tls)
        return std::make_unique<QSslSocket>();
    return std::make_unique<QTcpSocket>();
}

// The connection's signals, turned into state a coroutine looks at each time it wakes.
struct Exchange {
    // On `reused`, an open connection left by an earlier exchange, or on a new one.
    Exchange(bool tls, std::unique_ptr<QTcpSocket> reused)
        : ready(reused != nullptr)
        , isReused(ready)
    {
        socket = ready ? std::move(reused) : newSocket(tls);
    }

    // Hands the connection over with none of this exchange's watches left on it.
    std::unique_ptr<QTcpSocket> release()
    {
        QObject::disconnect(socket.get(), nullptr, &context, nullptr);
        return std::move(socket);
    }

    void poke()
    {
        if (wakeup)
            wakeup->fire();
    }

    std::unique_ptr<QTcpSocket> socket;
    QTimer idle;
    ResponseReader reader;
    std::shared_ptr<Wakeup> wakeup;
    bool ready = false; // connected, and encrypted when it must be
    bool isReused = false;
    bool closed = false;
    bool timedOut = false;
    std::optional<QString> failure;
    // The receiver of every watch on the socket and the timer: they end with the exchange, and
    // a connection handed over for another request carries none of them along. Declared last,
    // so it goes first.
    QObject context;
};

// The reused connection was closed by the peer before it answered anything, as a server does
// with a connection it has kept idle long enough: the request is to be sent on a new one.
struct StaleConnection {};

bool isIdempotent(const QByteArray &method)
{
    return method == "PUT" || method == "GET" || method == "HEAD" || method == "DELETE"
           || method == "OPTIONS";
}

void watch(Exchange &x, bool tls)
{
    QTcpSocket *socket = x.socket.get();
    QObject::connect(socket, &QAbstractSocket::connected, &x.context, [&x, tls] {
        x.ready = !tls;
        x.poke();
    });
    if (auto *secure = qobject_cast<QSslSocket *>(socket))
        QObject::connect(secure, &QSslSocket::encrypted, &x.context, [&x] {
            x.ready = true;
            x.poke();
        });
    QObject::connect(socket, &QIODevice::bytesWritten, &x.context, [&x] {
        x.idle.start();
        x.poke();
    });
    QObject::connect(socket, &QIODevice::readyRead, &x.context, [&x] {
        x.idle.start();
        x.reader.feed(x.socket->readAll());
        x.poke();
    });
    QObject::connect(socket, &QAbstractSocket::disconnected, &x.context, [&x] {
        if (x.socket->isReadable())
            x.reader.feed(x.socket->readAll());
        x.closed = true;
        x.poke();
    });
    QObject::connect(socket, &QAbstractSocket::errorOccurred, &x.context,
                     [&x](QAbstractSocket::SocketError error) {
                         // The server closing after its answer is how this exchange ends.
                         if (error != QAbstractSocket::RemoteHostClosedError)
                             x.failure = x.socket->errorString();
                         x.closed = true;
                         x.poke();
                     });
    // Certificate errors are never ignored: the socket refuses the connection by itself and
    // reports it through errorOccurred.
    QObject::connect(&x.idle, &QTimer::timeout, &x.context, [&x] {
        x.timedOut = true;
        x.socket->abort();
        x.poke();
    });
}

QCoro::Task<HttpResult> exchange(HttpRequest request, CancellationToken cancel, QString origin,
                                 std::unique_ptr<QTcpSocket> reused)
{
    const bool tls = request.url.scheme().compare(u"https", Qt::CaseInsensitive) == 0;
    auto exchange = std::make_unique<Exchange>(tls, std::move(reused));
    Exchange &x = *exchange;
    watch(x, tls);
    x.idle.setSingleShot(true);
    if (request.timeout > 0)
        x.idle.setInterval(int(request.timeout * 1000));
    // The cancel may come from any thread; the connection is closed from the exchange's own,
    // if the exchange is still there (a connection handed over is not its to close).
    QPointer<QObject> guard(&x.context);
    const auto abortOnCancel = cancel.onCancel([guard, &x] {
        QMetaObject::invokeMethod(guard, [&x] {
            if (!x.socket)
                return;
            x.socket->abort();
            x.poke();
        });
    });

    auto *secure = qobject_cast<QSslSocket *>(x.socket.get());
    if (!x.isReused) {
        const quint16 port = quint16(request.url.port(tls ? 443 : 80));
        if (secure)
            secure->connectToHostEncrypted(request.url.host(), port);
        else // written straight to the connection, not copied into a buffer first
            x.socket->connectToHost(request.url.host(), port,
                                    QIODevice::ReadWrite | QIODevice::Unbuffered);
    }
    if (request.timeout > 0)
        x.idle.start();

    const auto queued = [&] {
        return x.socket->bytesToWrite() + (secure ? secure->encryptedBytesToWrite() : 0);
    };
    const QByteArray head = requestHead(request);
    bool headSent = false;
    qint64 bodySent = 0;
    // Writes what the connection may queue now; false when it refuses.
    const auto feed = [&] {
        if (!headSent) {
            if (x.socket->write(head) < 0)
                return false;
            headSent = true;
        }
        while (bodySent < request.body.size() && queued() < mostQueued) {
            const qint64 length = std::min(writePiece, request.body.size() - bodySent);
            if (x.socket->write(request.body.constData() + bodySent, length) < 0)
                return false;
            bodySent += length;
        }
        return true;
    };
    for (;;) {
        cancel.throwIfCancelled();
        if (x.timedOut)
            throw DriveError::transport(QStringLiteral("délai d'attente dépassé"));
        const bool answered = x.reader.state() != ResponseReader::State::reading;
        if (answered || x.closed)
            break;
        // Keep the socket fed; an answer that comes before the body is all sent (a refusal)
        // ends the exchange all the same.
        if (x.ready && !feed()) {
            // Refused at once, as a connection reset by the peer is: no signal follows.
            x.failure = x.socket->errorString();
            x.closed = true;
            break;
        }
        x.wakeup = std::make_shared<Wakeup>();
        const auto waiting = x.wakeup;
        co_await waiting->wait();
    }
    cancel.throwIfCancelled();
    if (x.isReused && !x.reader.hasReceived()
        && (isIdempotent(request.method) || bodySent < request.body.size() || queued() > 0))
        throw StaleConnection{};
    if (x.reader.state() == ResponseReader::State::reading)
        x.reader.finish();
    if (x.reader.state() != ResponseReader::State::complete)
        throw DriveError::transport(x.failure.value_or(QStringLiteral("réponse non HTTP")));
    HttpResult result{x.reader.body(), x.reader.response()};
    if (x.reader.leavesConnectionOpen() && !x.closed
        && x.socket->state() == QAbstractSocket::ConnectedState && queued() == 0)
        IdleConnections::ofThisThread().keep(origin, x.release());
    else
        x.socket->abort();
    co_return result;
}

} // namespace

QCoro::Task<HttpResult> sendOnOwnConnection(HttpRequest request, CancellationToken cancel)
{
    cancel.throwIfCancelled();
    const QString scheme = request.url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        throw DriveError::transport(QStringLiteral("URL invalide : ") + request.url.scheme());
    const QString origin = IdleConnections::originOf(request.url);
    if (auto reused = IdleConnections::ofThisThread().take(origin)) {
        try {
            co_return co_await exchange(request, cancel, origin, std::move(reused));
        } catch (const StaleConnection &) {
            // Nothing was answered on it, and nothing that could have been acted upon: the
            // request goes again, once, on a connection of its own.
        }
    }
    co_return co_await exchange(std::move(request), std::move(cancel), origin, nullptr);
}

} // namespace OrvelanNimbal
