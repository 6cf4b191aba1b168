// SPDX-License-Identifier: GPL-3.0-or-later
// Access to content: download grants.
#include "api/DriveAPI.h"
#include "errors/DriveError.h"
#include "models/WireConversions.h"

namespace OrvelanNimbal {

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

} // namespace OrvelanNimbal
