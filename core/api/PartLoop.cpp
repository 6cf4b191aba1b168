// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/PartLoop_p.h"
#include "api/UploadSource_p.h"
#include "async/OffMainThread.h"
#include "errors/DriveError.h"
#include "models/DriveDTOs.h"
#include "sync/ContentHasher.h"

#include <exception>
#include <optional>

namespace OrvelanNimbal::Uploads {

namespace {

// A part of up to 8 MiB (more for huge files) on a slow uplink needs far longer than an API
// request; the time-out counts seconds without traffic.
constexpr double partTimeoutSeconds = 300;

// The part's bytes go wherever this address says, with no credentials of ours. Only a web
// address may receive them: the network layer would also write a file: address to disk.
QUrl partURL(const QString &text)
{
    QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty())
        throw DriveError::decoding(QStringLiteral("URL de part invalide"));
    return url;
}

QCoro::Task<QUrl> presignPart(std::shared_ptr<ApiClient> client, OpenedUpload upload, int number,
                              CancellationToken cancel)
{
    const PresignDTO presign =
        co_await client->post<PresignDTO>(QStringLiteral("/drive/upload/multipart/presign"),
                                          presignBody(upload, number), std::move(cancel));
    co_return partURL(presign.url);
}

// Stores one part and returns the storage's ETag exactly as sent, quotes included: the
// service hands it back to the storage when it assembles the parts.
QCoro::Task<QString> storePart(std::shared_ptr<ApiClient> client, QUrl url, HttpBody bytes,
                               CancellationToken cancel)
{
    HttpRequest request;
    request.url = std::move(url);
    request.method = QByteArrayLiteral("PUT");
    request.body = std::move(bytes);
    request.timeout = partTimeoutSeconds;
    const HttpResult stored = co_await client->sendExternal(std::move(request), std::move(cancel));
    const std::optional<QString> etag = stored.response.headerText("ETag");
    if (!etag || etag->isEmpty())
        throw DriveError::decoding(QStringLiteral("ETag absent de la réponse du stockage"));
    co_return *etag;
}

// A part read into memory and added to the content's hash, on the pool: the bytes hashed are
// the bytes sent. Parts are read in order, each once the one before it is.
QCoro::Task<QByteArray> readAndHash(std::shared_ptr<const UploadSource> source,
                                    std::shared_ptr<ContentHasher::Digest> digest, qint64 offset,
                                    qint64 length)
{
    auto read = [source = std::move(source), digest = std::move(digest), offset, length] {
        QByteArray bytes = source->read(offset, length);
        digest->add(bytes);
        return bytes;
    };
    co_return co_await runOffMainThread(std::move(read));
}

// The parts go one after the other, each read from the file as it is sent. Only the address of
// the next part is asked for while the current part travels: the storage spends that time
// taking in the bytes, and the round trip of the request would otherwise leave it idle once per
// part. An address asked for in vain (the upload fails first) is simply never used. With a
// `digest`, the content's hash is made from the parts themselves: the next part is read and
// hashed on the pool while the current one travels, so the file is read once.
QCoro::Task<std::vector<UploadedPart>>
sendParts(std::shared_ptr<ApiClient> client, OpenedUpload upload, DriveAPI::LocalContent content,
          std::shared_ptr<ContentHasher::Digest> digest, DriveAPI::Progress progress,
          CancellationToken cancel)
{
    const auto source = std::make_shared<const UploadSource>(content.url);
    std::vector<UploadedPart> parts;
    qint64 sent = 0;
    std::optional<QCoro::Task<QUrl>> nextAddress;
    std::optional<QCoro::Task<QByteArray>> nextBytes;
    if (digest)
        nextBytes.emplace(
            readAndHash(source, digest, 0, std::min(upload.partSize, content.size)));
    for (int number = 1; sent < content.size; ++number) {
        cancel.throwIfCancelled();
        const qint64 length = std::min(upload.partSize, content.size - sent);
        HttpBody bytes;
        if (nextBytes) {
            QCoro::Task<QByteArray> reading = std::move(*nextBytes);
            nextBytes.reset();
            bytes.append(co_await reading);
            const qint64 next = sent + length;
            if (next < content.size)
                nextBytes.emplace(readAndHash(source, digest, next,
                                              std::min(upload.partSize, content.size - next)));
        } else {
            bytes.append(source->region(sent, length));
        }
        // Not a conditional expression around co_await: GCC 12 miscompiles that.
        QUrl url;
        if (nextAddress) {
            QCoro::Task<QUrl> asked = std::move(*nextAddress);
            nextAddress.reset();
            url = co_await asked;
        } else {
            url = co_await presignPart(client, upload, number, cancel);
        }
        if (sent + length < content.size)
            nextAddress.emplace(presignPart(client, upload, number + 1, cancel));
        QString etag = co_await storePart(client, url, std::move(bytes), cancel);
        parts.push_back({number, std::move(etag)});
        sent += length;
        if (progress)
            progress(sent);
    }
    co_return parts;
}

} // namespace

QCoro::Task<OpenedUpload> openUpload(std::shared_ptr<ApiClient> client, QJsonObject body,
                                     qint64 contentSize, CancellationToken cancel)
{
    const MultipartInitDTO opened = co_await client->post<MultipartInitDTO>(
        QStringLiteral("/drive/upload/multipart/init"), std::move(body), std::move(cancel));
    co_return OpenedUpload{opened.uploadID, opened.s3Key, DriveAPI::partSize(contentSize)};
}

QCoro::Task<> announceOpened(
    std::shared_ptr<ApiClient> client, OpenedUpload upload,
    std::function<void(const QString &uploadID, const QString &storageKey)> onPartsOpened)
{
    if (!onPartsOpened)
        co_return;
    // Only what the caller reports as a failure abandons the upload; anything else passes
    // through untouched, leaving the upload as a crash there would.
    std::exception_ptr failure;
    try {
        onPartsOpened(upload.uploadID, upload.storageKey);
        co_return;
    } catch (const std::exception &) {
        failure = std::current_exception();
    }
    co_await abandonUpload(client, upload);
    std::rethrow_exception(failure);
}

QCoro::Task<SentParts> sendPartsOrAbandon(std::shared_ptr<ApiClient> client,
                                          OpenedUpload upload, DriveAPI::LocalContent content,
                                          DriveAPI::Progress progress, CancellationToken cancel)
{
    std::exception_ptr failure;
    try {
        // A hash the caller left to the parts is made as they are read.
        std::shared_ptr<ContentHasher::Digest> digest;
        if (content.contentHash.isEmpty())
            digest = std::make_shared<ContentHasher::Digest>();
        SentParts sent;
        sent.parts = co_await sendParts(client, upload, content, digest, std::move(progress),
                                        std::move(cancel));
        sent.contentHash = digest ? digest->finish() : content.contentHash;
        co_return sent;
    } catch (...) {
        // Cancellation included: a cancelled upload is one to abandon too.
        failure = std::current_exception();
    }
    co_await abandonUpload(client, upload);
    std::rethrow_exception(failure);
}

QCoro::Task<> abandonUpload(std::shared_ptr<ApiClient> client, OpenedUpload upload)
{
    // Not under the caller's cancellation: after a cancel, this request is the one that must
    // still go out.
    try {
        co_await client->post(QStringLiteral("/drive/upload/multipart/abort"), abandonBody(upload));
    } catch (...) {
        // The upload has already failed, and that failure is the one to report.
    }
}

} // namespace OrvelanNimbal::Uploads
