// SPDX-License-Identifier: GPL-3.0-or-later
// Access to content: download grants, and content fetched from them straight into files.
#include "api/DownloadTarget_p.h"
#include "api/DriveAPI.h"
#include "config/CoreLogging.h"
#include "errors/DriveError.h"
#include "models/WireConversions.h"

namespace OrvelanNimbal {

namespace {

// What the transport may receive ahead of the disk: the next pieces arrive while the last
// ones are written and hashed on the thread pool.
constexpr qsizetype downloadBufferBytes = 4 * 1024 * 1024;
// Of an unsuccessful answer, only what its error quotes is read.
constexpr qsizetype refusalBytes = 300;

QCoro::Task<qint64> downloadOnce(std::shared_ptr<ApiClient> client, DriveDownload grant,
                                 QString destination, DriveAPI::Progress progress,
                                 Downloads::DownloadTarget::Flush flush, CancellationToken cancel)
{
    Downloads::DownloadTarget target(destination);
    HttpRequest request;
    request.url = grant.url;
    request.timeout = client->configuration().requestTimeout;
    const std::unique_ptr<HttpStream> stream =
        client->transport().open(std::move(request), cancel, downloadBufferBytes);
    const HttpResponse head = co_await stream->head();
    if (!head.isSuccess()) {
        QByteArray start;
        while (start.size() < refusalBytes) {
            const QByteArray piece = co_await stream->read();
            if (piece.isEmpty())
                break;
            start += piece;
        }
        throw ApiClient::externalError(head.statusCode, start);
    }

    qint64 received = 0;
    for (;;) {
        QByteArray piece = co_await stream->read(Downloads::DownloadTarget::writeBytes);
        if (piece.isEmpty())
            break;
        received += piece.size();
        co_await target.write(std::move(piece));
        if (progress)
            progress(received);
        cancel.throwIfCancelled();
    }
    cancel.throwIfCancelled(); // a cancelled download never takes the destination's place
    DriveDownload::checkReceived(received, grant.fileSize);
    co_await target.commit(grant.contentHash, flush);
    co_return received;
}

QCoro::Task<qint64> fetchContent(std::shared_ptr<ApiClient> client, DriveDownload grant,
                                 QString destination, DriveAPI::Progress progress,
                                 Downloads::DownloadTarget::Flush flush, CancellationToken cancel)
{
    qCDebug(lcClient, "téléchargement : %s vers %s", qUtf8Printable(loggedURL(grant.url)),
            qUtf8Printable(destination));
    const auto attempt = [&] {
        return downloadOnce(client, grant, destination, progress, flush, cancel);
    };
    co_return co_await client->withRetries<qint64>(client->retryAttempts(), cancel, attempt);
}

} // namespace

QCoro::Task<DriveDownload> DriveAPI::contentURL(DriveFile file, CancellationToken cancel) const
{
    const auto client = m_client;
    // Archived content is only served from the web; asking the API would only be refused.
    if (!isSynchronizable(file.storageClass))
        throw DriveError::archived();
    const HttpResult result =
        co_await client->perform(QStringLiteral("/drive/files/%1/download-url").arg(file.id),
                                 QByteArrayLiteral("GET"), {}, true, std::move(cancel));
    co_return downloadFromWire(ApiClient::decodeResponse<DownloadURLDTO>(result.body));
}

QCoro::Task<qint64> DriveAPI::downloadContent(DriveDownload grant, QString destination,
                                              Progress progress, CancellationToken cancel) const
{
    return fetchContent(m_client, std::move(grant), std::move(destination), std::move(progress),
                        Downloads::DownloadTarget::Flush::now, std::move(cancel));
}

QCoro::Task<qint64> DriveAPI::downloadContentUnflushed(DriveDownload grant, QString destination,
                                                       Progress progress,
                                                       CancellationToken cancel) const
{
    return fetchContent(m_client, std::move(grant), std::move(destination), std::move(progress),
                        Downloads::DownloadTarget::Flush::byCaller, std::move(cancel));
}

QCoro::Task<DriveFile> DriveAPI::download(DriveFile file, QString destination, Progress progress,
                                          CancellationToken cancel) const
{
    const DriveAPI api = *this;
    const DriveDownload grant = co_await api.contentURL(file, cancel);
    const qint64 received = co_await api.downloadContent(grant, std::move(destination),
                                                         std::move(progress), std::move(cancel));
    co_return file.refreshed(grant, received);
}

} // namespace OrvelanNimbal
