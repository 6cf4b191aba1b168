// SPDX-License-Identifier: GPL-3.0-or-later
#include "async/Wakeup.h"
#include "errors/DriveError.h"
#include "events/EventStreamConnection_p.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace OrvelanNimbal {

namespace {

// What the network layer may hold for us while onChange runs. Once it is full the socket is
// no longer read, so a slow consumer slows the service down instead of growing our memory.
constexpr qint64 readBufferBytes = 64 * 1024;
// At most this much is handed to the parser at a time.
constexpr qint64 readChunkBytes = 16 * 1024;

} // namespace

EventStreamConnection::EventStreamConnection(QNetworkAccessManager &manager,
                                             const QNetworkRequest &request,
                                             CancellationToken cancel)
    : m_reply(manager.get(request))
    , m_cancel(std::move(cancel))
{
    m_reply->setReadBufferSize(readBufferBytes);
}

EventStreamConnection::~EventStreamConnection()
{
    // A reply that already carries an error (an error status, say) is closing by itself, and
    // aborting it again only upsets the network layer.
    if (m_reply->isRunning() && m_reply->error() == QNetworkReply::NoError)
        m_reply->abort();
}

QCoro::Task<> EventStreamConnection::waitForActivity()
{
    Wakeup wakeup;
    QObject receiver; // its destruction cuts the connections below before `wakeup` goes away
    const auto wake = [&wakeup] { wakeup.fire(); };
    QObject::connect(m_reply.get(), &QNetworkReply::metaDataChanged, &receiver, wake);
    QObject::connect(m_reply.get(), &QIODevice::readyRead, &receiver, wake);
    QObject::connect(m_reply.get(), &QNetworkReply::finished, &receiver, wake);
    const auto cancelled = m_cancel.onCancel(wake);
    co_await wakeup.wait();
}

DriveError EventStreamConnection::failure() const
{
    // We abort only on cancellation, which is checked before this; the other abort is the
    // network layer's own, when the idle timeout expires.
    if (m_reply->error() == QNetworkReply::OperationCanceledError)
        return DriveError::transport(QStringLiteral("délai d'attente dépassé"));
    return DriveError::transport(m_reply->errorString());
}

QCoro::Task<> EventStreamConnection::open()
{
    for (;;) {
        m_cancel.throwIfCancelled();
        if (m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()
            || m_reply->isFinished())
            break;
        co_await waitForActivity();
    }
    if (!m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        if (m_reply->error() != QNetworkReply::NoError)
            throw failure();
        throw DriveError::transport(QStringLiteral("réponse non HTTP"));
    }
    throwUnlessAccepted();
}

void EventStreamConnection::throwUnlessAccepted() const
{
    switch (const int status =
                m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()) {
    case 200:
        return;
    case 401:
    case 403:
        throw DriveError::notAuthenticated();
    default:
        // Even another 2xx is refused: only a 200 is known to be the stream.
        throw DriveError::http(status, QStringLiteral("flux"));
    }
}

QCoro::Task<> EventStreamConnection::readEvents(DriveEventStream::ChangeHandler onChange)
{
    for (;;) {
        m_cancel.throwIfCancelled();
        // When a connection closes at an unlucky moment the network layer may send the request
        // again by itself and carry on with the new answer in this same reply; that answer
        // need not be the stream.
        throwUnlessAccepted();
        if (m_reply->bytesAvailable() > 0) {
            const QByteArray chunk = m_reply->read(readChunkBytes);
            for (const ServerSentEvent &event : m_parser.feed(chunk)) {
                if (event.event != DriveEventStream::changedEvent)
                    continue;
                co_await onChange();
                m_cancel.throwIfCancelled();
            }
            continue;
        }
        if (m_reply->isFinished()) {
            // A body cut off mid-way, a broken connection or the idle timeout.
            if (m_reply->error() != QNetworkReply::NoError)
                throw failure();
            co_return;
        }
        co_await waitForActivity();
    }
}

} // namespace OrvelanNimbal
