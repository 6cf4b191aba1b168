// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/ReleaseServer.h"

#include "client/ApiClient.h"
#include "errors/DriveError.h"
#include "updates/Appcast.h"
#include "updates/UpdateError.h"

#include <QFile>

#include <algorithm>

namespace OrvelanNimbal {

namespace {

// Small enough for progress to move and for a retry to cost little, large enough that the
// requests themselves cost nothing next to the bytes.
constexpr qint64 downloadPiece = 2 * 1024 * 1024;

// The first byte of a partial answer, from "Content-Range: bytes 0-2097151/48211968".
std::optional<qint64> rangeStart(const HttpResponse &response)
{
    const QByteArray range = response.header("Content-Range").value_or(QByteArray()).trimmed();
    if (!range.startsWith("bytes "))
        return std::nullopt;
    bool ok = false;
    const qint64 start = range.mid(6, range.indexOf('-') - 6).toLongLong(&ok);
    return ok ? std::optional(start) : std::nullopt;
}

void writeAll(QFile &file, const QByteArray &bytes)
{
    if (file.write(bytes) != bytes.size())
        throw UpdateError(UpdateError::Kind::downloadFailed, file.errorString());
}

} // namespace

QCoro::Task<QList<AppcastItem>> fetchAppcast(std::shared_ptr<ApiClient> client, QUrl feedURL,
                                             CancellationToken cancel)
{
    HttpRequest request;
    request.url = feedURL;
    HttpResult result;
    try {
        result = co_await client->sendExternal(std::move(request), std::move(cancel));
    } catch (const DriveError &failure) {
        throw UpdateError::fromNetwork(UpdateError::Kind::feedUnreachable, failure);
    }
    co_return parseAppcast(result.body, feedURL);
}

QCoro::Task<> downloadEnclosure(std::shared_ptr<ApiClient> client, QUrl url, qint64 length,
                                QString destination, std::function<void(qint64)> progress,
                                CancellationToken cancel)
{
    QFile file(destination);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw UpdateError(UpdateError::Kind::downloadFailed, file.errorString());
    qint64 received = 0;
    while (received < length) {
        HttpRequest request;
        request.url = url;
        const qint64 last = std::min(received + downloadPiece, length) - 1;
        request.setHeader("Range",
                          "bytes=" + QByteArray::number(received) + '-' + QByteArray::number(last));
        HttpResult result;
        try {
            result = co_await client->sendExternal(std::move(request), cancel);
        } catch (const DriveError &failure) {
            throw UpdateError::fromNetwork(UpdateError::Kind::downloadFailed, failure);
        }
        const int status = result.response.statusCode;
        if (status == 200) {
            // The whole release, whatever range was asked for.
            file.resize(0);
            file.seek(0);
            writeAll(file, result.body);
            progress(result.body.size());
            break;
        }
        if (status != 206 || result.body.isEmpty() || rangeStart(result.response) != received)
            throw UpdateError(UpdateError::Kind::downloadFailed,
                              QStringLiteral("Le serveur des mises à jour a envoyé autre chose "
                                             "que la suite du fichier (HTTP %1).")
                                  .arg(status));
        writeAll(file, result.body);
        received += result.body.size();
        progress(received);
    }
    if (!file.flush())
        throw UpdateError(UpdateError::Kind::downloadFailed, file.errorString());
}

} // namespace OrvelanNimbal
