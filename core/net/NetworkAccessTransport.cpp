// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/NetworkAccessTransport.h"

#include "net/OwnConnectionRequest_p.h"
#include "errors/DriveError.h"

#include <QCoro/QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QThreadStorage>

#include <memory>

namespace OrvelanNimbal {

namespace {

// Padding left after a body so that the JSON parser can read it in place.
constexpr qsizetype bodyPadding = 64;
// Bodies from this size on go over a connection of their own (see sendOnOwnConnection): parts
// of uploads and direct uploads, never the API's JSON.
constexpr qsizetype largeBody = 1024 * 1024;

bool isNetworkFailure(QNetworkReply::NetworkError error)
{
    // Connection, TLS and proxy failures, and a connection that broke mid-answer. HTTP error
    // statuses (the 2xx-4xx ranges of NetworkError) are answers, not failures of the transport.
    return (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)
           || error == QNetworkReply::ProtocolFailure;
}

// A connection closed in the middle of a body is not always reported as an error by the
// network layer: the bytes received just end early. The announced length tells. (A compressed
// body announces its compressed length, so it is left to the decompressor to notice.)
bool isCutShort(const QNetworkReply &reply, const QByteArray &body)
{
    const QVariant announced = reply.header(QNetworkRequest::ContentLengthHeader);
    return announced.isValid() && !reply.hasRawHeader("Content-Encoding")
           && body.size() < announced.toLongLong();
}

QNetworkRequest networkRequest(const HttpRequest &request)
{
    QNetworkRequest result(request.url);
    for (const auto &[name, value] : request.headers)
        result.setRawHeader(name, value);
    if (request.timeout > 0)
        result.setTransferTimeout(static_cast<int>(request.timeout * 1000));
    return result;
}

} // namespace

QNetworkAccessManager &sharedNetworkAccessManager()
{
    static QThreadStorage<QNetworkAccessManager *> managers;
    if (!managers.hasLocalData())
        managers.setLocalData(new QNetworkAccessManager);
    return *managers.localData();
}

NetworkAccessTransport::NetworkAccessTransport()
    : NetworkAccessTransport(sharedNetworkAccessManager())
{}

NetworkAccessTransport::NetworkAccessTransport(QNetworkAccessManager &manager)
    : m_manager(&manager)
{}

QCoro::Task<HttpResult> NetworkAccessTransport::send(HttpRequest request, CancellationToken cancel)
{
    cancel.throwIfCancelled();
    if (request.body.size() >= largeBody)
        co_return co_await sendOnOwnConnection(std::move(request), std::move(cancel));
    std::unique_ptr<QNetworkReply> reply(
        m_manager->sendCustomRequest(networkRequest(request), request.method, request.body));
    QPointer<QNetworkReply> guard(reply.get());
    const auto abortOnCancel = cancel.onCancel([guard] {
        if (guard)
            QMetaObject::invokeMethod(guard, &QNetworkReply::abort);
    });

    HttpResult result;
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, reply.get(), [&] {
        const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (length > 0)
            result.body.reserve(length + bodyPadding);
    });
    QObject::connect(reply.get(), &QIODevice::readyRead, reply.get(),
                     [&] { result.body.append(reply->readAll()); });

    co_await reply.get();
    cancel.throwIfCancelled();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply->error() == QNetworkReply::OperationCanceledError) // only the idle timeout aborts
        throw DriveError::transport(QStringLiteral("délai d'attente dépassé"));
    if (isNetworkFailure(reply->error()))
        throw DriveError::transport(reply->errorString());
    if (!status.isValid())
        throw DriveError::transport(QStringLiteral("réponse non HTTP"));

    result.body.append(reply->readAll());
    if (isCutShort(*reply, result.body))
        throw DriveError::transport(QStringLiteral("réponse incomplète"));
    if (result.body.capacity() - result.body.size() < bodyPadding)
        result.body.reserve(result.body.size() + bodyPadding);
    result.response.statusCode = status.toInt();
    for (const auto &[name, value] : reply->rawHeaderPairs())
        result.response.headers.append({name, value});
    co_return result;
}

} // namespace OrvelanNimbal
