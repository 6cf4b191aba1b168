// SPDX-License-Identifier: GPL-3.0-or-later
// Access to thumbnails: presigned addresses of the preferred size.
#include "api/DriveAPI.h"
#include "errors/DriveError.h"
#include "models/DriveDTOs.h"

namespace OrvelanNimbal {

namespace {

// A storage key as a query value. Besides letters, digits and "-._~", the characters a query
// may carry stay as they are, except those that would end or split the value: & + = ? #.
QByteArray queryValue(const QString &text)
{
    return text.toUtf8().toPercentEncoding(QByteArrayLiteral("!$'()*,/:;@"));
}

} // namespace

QCoro::Task<std::optional<QUrl>> DriveAPI::thumbnailURL(DriveFile file,
                                                        CancellationToken cancel) const
{
    const auto client = m_client;
    // Archived content has no thumbnails to serve; asking would only be refused.
    if (!isSynchronizable(file.storageClass))
        co_return std::nullopt;
    const std::optional<QString> key = file.preferredThumbnailKey();
    if (!key)
        co_return std::nullopt;
    const QString path =
        QStringLiteral("/drive/thumbnails/presign?s3_key=") + QString::fromLatin1(queryValue(*key));
    const HttpResult result =
        co_await client->perform(path, QByteArrayLiteral("GET"), {}, true, std::move(cancel));
    const QUrl url(ApiClient::decodeResponse<PresignDTO>(result.body).url, QUrl::StrictMode);
    if (!url.isValid())
        throw DriveError::decoding(QStringLiteral("URL de miniature invalide"));
    co_return url;
}

} // namespace OrvelanNimbal
