// SPDX-License-Identifier: GPL-3.0-or-later
#include "transfer/ContentDownloader.h"

#include "async/Wakeup.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"
#include "models/DriveModels.h"
#include "net/NetworkAccessTransport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <memory>

namespace OrvelanNimbal::FileProvider {

namespace {

constexpr qint64 readBufferBytes = 1 << 20;
constexpr int idleTimeoutMilliseconds = 60000;
constexpr qsizetype keptErrorBodyBytes = 300;

// The state of one transfer, written from the reply's signals.
struct Receiver {
    Receiver(QFile &file, QNetworkReply &reply, const ContentDownloads::Progress &progress)
        : file(file)
        , reply(reply)
        , progress(progress)
    {}

    QFile &file;
    QNetworkReply &reply;
    QCryptographicHash hash{QCryptographicHash::Sha256};
    const ContentDownloads::Progress &progress;
    qint64 received = 0;
    QByteArray errorBody;
    std::optional<QString> writeFailure;

    bool isSuccess() const
    {
        const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        return status >= 200 && status <= 299;
    }

    void drain()
    {
        while (reply.bytesAvailable() > 0) {
            const QByteArray chunk = reply.read(readBufferBytes);
            if (!isSuccess()) {
                errorBody += chunk.first(std::min(chunk.size(), keptErrorBodyBytes));
                errorBody.truncate(keptErrorBodyBytes);
                continue;
            }
            if (writeFailure)
                continue;
            if (file.write(chunk) != chunk.size()) {
                writeFailure = file.errorString();
                reply.abort();
                return;
            }
            hash.addData(chunk);
            received += chunk.size();
            if (progress)
                progress(received);
        }
    }
};

} // namespace

QCoro::Task<> ContentDownloader::download(QUrl url, QString destination, Expected expected,
                                          Progress progress, CancellationToken cancel)
{
    cancel.throwIfCancelled();
    QFile file(destination);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw FileError(destination, file.errorString());
    bool kept = false;
    const auto removeUnlessKept = qScopeGuard([&] {
        if (!kept)
            file.remove();
    });

    QNetworkRequest request(url);
    request.setTransferTimeout(idleTimeoutMilliseconds);
    // A pre-signed address is used exactly as the service gave it.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    const std::unique_ptr<QNetworkReply> reply(sharedNetworkAccessManager().get(request));
    reply->setReadBufferSize(readBufferBytes);
    Receiver receiver(file, *reply, progress);

    Wakeup finished;
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(),
                     [&receiver] { receiver.drain(); });
    QObject::connect(reply.get(), &QNetworkReply::finished, reply.get(), [&] {
        receiver.drain();
        finished.fire();
    });
    const CancellationRegistration onCancel = cancel.onCancel([&finished] { finished.fire(); });
    co_await finished.wait();

    if (cancel.isCancelled()) {
        reply->abort();
        throw OperationCancelled();
    }
    if (receiver.writeFailure)
        throw FileError(destination, *receiver.writeFailure);
    if (reply->error() != QNetworkReply::NoError && receiver.isSuccess())
        throw DriveError::transport(reply->errorString());
    if (!receiver.isSuccess()) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status == 0)
            throw DriveError::transport(reply->errorString());
        throw DriveError::http(status, QString::fromUtf8(receiver.errorBody));
    }
    if (!file.flush())
        throw FileError(destination, file.errorString());
    DriveDownload::checkReceived(receiver.received, expected.size);
    const QString digest = QString::fromLatin1(receiver.hash.result().toHex());
    if (expected.sha256 && *expected.sha256 != digest)
        throw DriveError::transport(
            QStringLiteral("contenu reçu différent de celui du Nimbal (empreinte SHA-256)"));
    kept = true;
}

} // namespace OrvelanNimbal::FileProvider
