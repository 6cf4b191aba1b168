// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the drive: the change feed, folder and file listings, the quota.
#include "api/DriveAPI.h"
#include "api/OffThreadDecoding_p.h"
#include "errors/DriveError.h"
#include "models/WireConversions.h"
#include "models/WireListings.h"

namespace OrvelanNimbal {

namespace {

// The service answers a folder with at most this many files, and there is no paging.
constexpr int fileListingLimit = 100000;

bool isCursorRefusal(const DriveError &error)
{
    return error.kind() == DriveError::Kind::http && error.status() == 410;
}

} // namespace

QCoro::Task<DriveChanges> DriveAPI::changes(qint64 since, CancellationToken cancel) const
{
    const auto client = m_client;
    HttpResult result;
    try {
        result = co_await client->perform(QStringLiteral("/drive/changes?since=%1").arg(since),
                                          QByteArrayLiteral("GET"), {}, true, std::move(cancel));
    } catch (const DriveError &error) {
        // The service no longer knows the cursor: the caller must enumerate everything again.
        if (isCursorRefusal(error))
            throw DriveError::cursorExpired();
        throw;
    }
    co_return co_await decodeOffMainThread(std::move(result.body), [](const QByteArray &body) {
        return changesFromWire(Json::decode<ChangesDTO>(body));
    });
}

QCoro::Task<std::vector<DriveFolder>> DriveAPI::folders(std::optional<qint64> parentID,
                                                        CancellationToken cancel) const
{
    const auto client = m_client;
    const QString path = parentID ? QStringLiteral("/drive/folders?id_parent=%1").arg(*parentID)
                                  : QStringLiteral("/drive/folders");
    HttpResult result =
        co_await client->perform(path, QByteArrayLiteral("GET"), {}, true, std::move(cancel));
    co_return co_await decodeOffMainThread(std::move(result.body), foldersFromWireListing);
}

QCoro::Task<std::vector<DriveFile>> DriveAPI::files(std::optional<qint64> folderID,
                                                    CancellationToken cancel) const
{
    const auto client = m_client;
    QString path = QStringLiteral("/drive/files?limit=%1").arg(fileListingLimit);
    if (folderID)
        path += QStringLiteral("&id_folder=%1").arg(*folderID);
    HttpResult result =
        co_await client->perform(path, QByteArrayLiteral("GET"), {}, true, std::move(cancel));
    co_return co_await decodeOffMainThread(std::move(result.body), filesFromWireListing);
}

QCoro::Task<DriveQuota> DriveAPI::quota(CancellationToken cancel) const
{
    const auto client = m_client;
    const HttpResult result = co_await client->perform(
        QStringLiteral("/drive/quota"), QByteArrayLiteral("GET"), {}, true, std::move(cancel));
    co_return quotaFromWire(ApiClient::decodeResponse<QuotaDTO>(result.body));
}

} // namespace OrvelanNimbal
