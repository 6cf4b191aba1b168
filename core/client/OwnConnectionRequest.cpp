// SPDX-License-Identifier: GPL-3.0-or-later
#include "client/OwnConnectionRequest_p.h"
#include "client/ResponseReader_p.h"
#include "client/Wakeup.h"
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
                      + "\r\nContent-Length: " + QByteArray::number(request.body.size())
                      + "\r\nConnection: close\r\n";
    for (const auto &[name, value] : request.headers) {
        if (!isConnectionHeader(name))
            head += name + ": " + value + "\r\n";
    }
    return head + "\r\n";
}

// The connection's signals, turned into state a coroutine looks at each time it wakes.
struct Exchange {
    explicit Exchange(bool tls)
        : socket(tls ? new QSslSocket : new QTcpSocket)
    {}

    // Plain for http: the TLS socket in plain mode warns of reads on its inner socket once the
    // server has closed.
    std::unique_ptr<QTcpSocket> socket;
    QTimer idle;
    ResponseReader reader;
    std::shared_ptr<Wakeup> wakeup;
    bool ready = false; // connected, and encrypted when it must be
    bool closed = false;
    bool timedOut = false;
    std::optional<QString> failure;

    // Signals that the socket sends while it goes must not reach the members already gone.
    ~Exchange()
    {
        QObject::disconnect(socket.get(), nullptr, nullptr, nullptr);
        QObject::disconnect(&idle, nullptr, nullptr, nullptr);
    }

    void poke()
    {
        if (wakeup)
            wakeup->fire();
    }
};

} // namespace

QCoro::Task<HttpResult> sendOnOwnConnection(HttpRequest request, CancellationToken cancel)
{
    cancel.throwIfCancelled();
    const QString scheme = request.url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        throw DriveError::transport(QStringLiteral("URL invalide : ") + request.url.scheme());
    const bool tls = scheme == u"https";
    auto exchange = std::make_unique<Exchange>(tls);
    Exchange &x = *exchange;

    QObject::connect(x.socket.get(), &QAbstractSocket::connected, x.socket.get(), [&x, tls] {
        x.ready = !tls;
        x.poke();
    });
    auto *secure = qobject_cast<QSslSocket *>(x.socket.get());
    if (secure)
        QObject::connect(secure, &QSslSocket::encrypted, secure, [&x] {
            x.ready = true;
            x.poke();
        });
    QObject::connect(x.socket.get(), &QIODevice::bytesWritten, x.socket.get(), [&x] {
        x.idle.start();
        x.poke();
    });
    QObject::connect(x.socket.get(), &QIODevice::readyRead, x.socket.get(), [&x] {
        x.idle.start();
        x.reader.feed(x.socket->readAll());
        x.poke();
    });
    QObject::connect(x.socket.get(), &QAbstractSocket::disconnected, x.socket.get(), [&x] {
        if (x.socket->isReadable())
            x.reader.feed(x.socket->readAll());
        x.closed = true;
        x.poke();
    });
    QObject::connect(x.socket.get(), &QAbstractSocket::errorOccurred, x.socket.get(),
                     [&x](QAbstractSocket::SocketError error) {
                         // The server closing after its answer is how this exchange ends.
                         if (error != QAbstractSocket::RemoteHostClosedError)
                             x.failure = x.socket->errorString();
                         x.closed = true;
                         x.poke();
                     });
    // Certificate errors are never ignored: the socket refuses the connection by itself and
    // reports it through errorOccurred.
    x.idle.setSingleShot(true);
    if (request.timeout > 0)
        x.idle.setInterval(int(request.timeout * 1000));
    QObject::connect(&x.idle, &QTimer::timeout, x.socket.get(), [&x] {
        x.timedOut = true;
        x.socket->abort();
        x.poke();
    });
    // The cancel may come from any thread; the socket is closed from its own, if it is still
    // there (and with it the exchange it belongs to).
    QPointer<QTcpSocket> guard(x.socket.get());
    const auto abortOnCancel = cancel.onCancel([guard, &x] {
        QMetaObject::invokeMethod(guard, [guard, &x] {
            if (!guard)
                return;
            guard->abort();
            x.poke();
        });
    });

    const quint16 port = quint16(request.url.port(tls ? 443 : 80));
    if (secure)
        secure->connectToHostEncrypted(request.url.host(), port);
    else
        x.socket->connectToHost(request.url.host(), port);
    if (request.timeout > 0)
        x.idle.start();

    const QByteArray head = requestHead(request);
    bool headSent = false;
    qint64 bodySent = 0;
    for (;;) {
        cancel.throwIfCancelled();
        if (x.timedOut)
            throw DriveError::transport(QStringLiteral("délai d'attente dépassé"));
        const bool answered = x.reader.state() != ResponseReader::State::reading;
        if (answered || x.closed)
            break;
        // Keep the socket fed; an answer that comes before the body is all sent (a refusal)
        // ends the exchange all the same.
        if (x.ready) {
            if (!headSent) {
                x.socket->write(head);
                headSent = true;
            }
            while (bodySent < request.body.size()
                   && x.socket->bytesToWrite() + (secure ? secure->encryptedBytesToWrite() : 0)
                          < mostQueued) {
                const qint64 length = std::min(writePiece, request.body.size() - bodySent);
                x.socket->write(request.body.constData() + bodySent, length);
                bodySent += length;
            }
        }
        x.wakeup = std::make_shared<Wakeup>();
        const auto waiting = x.wakeup;
        co_await waiting->wait();
    }
    cancel.throwIfCancelled();
    if (x.reader.state() == ResponseReader::State::reading)
        x.reader.finish();
    if (x.reader.state() != ResponseReader::State::complete)
        throw DriveError::transport(x.failure.value_or(QStringLiteral("réponse non HTTP")));
    x.socket->abort();
    co_return HttpResult{x.reader.body(), x.reader.response()};
}

} // namespace OrvelanNimbal
