// SPDX-License-Identifier: GPL-3.0-or-later
// Changing the tree: folders created, renamed and moved; files renamed; items moved and trashed.
#include "api/DriveAPI.h"
#include "models/DriveDTOs.h"

#include <QJsonArray>

namespace OrvelanNimbal {

namespace {

// The service's name for the top of the drive in request bodies.
constexpr qint64 rootFolderID = 0;

QJsonArray idArray(const std::vector<qint64> &ids)
{
    QJsonArray array;
    for (qint64 id : ids)
        array.append(QJsonValue(id));
    return array;
}

} // namespace

QCoro::Task<qint64> DriveAPI::createFolder(QString name, std::optional<qint64> parentID,
                                           CancellationToken cancel) const
{
    const auto client = m_client;
    const QJsonObject body{{QStringLiteral("folder_name"), name},
                           {QStringLiteral("id_parent"), parentID.value_or(rootFolderID)}};
    const auto created = co_await client->post<CreateFolderResponseDTO>(
        QStringLiteral("/drive/folders"), body, std::move(cancel));
    co_return created.id;
}

QCoro::Task<> DriveAPI::renameFile(qint64 id, QString newName, CancellationToken cancel) const
{
    const auto client = m_client;
    // The body is the bare JSON string, not an object.
    co_await client->putRawJSON(QStringLiteral("/drive/files/%1/rename").arg(id),
                                QJsonValue(newName), std::move(cancel));
}

QCoro::Task<> DriveAPI::updateFolder(qint64 id, std::optional<QString> name,
                                     std::optional<std::optional<qint64>> parentID,
                                     CancellationToken cancel) const
{
    const auto client = m_client;
    QJsonObject body;
    if (name)
        body.insert(QStringLiteral("folder_name"), *name);
    if (parentID)
        body.insert(QStringLiteral("parent_id"), parentID->value_or(rootFolderID));
    if (body.isEmpty())
        co_return;
    co_await client->put(QStringLiteral("/drive/folders/%1").arg(id), body, std::move(cancel));
}

QCoro::Task<> DriveAPI::move(std::vector<qint64> fileIDs, std::vector<qint64> folderIDs,
                             std::optional<qint64> targetFolderID, CancellationToken cancel) const
{
    const auto client = m_client;
    if (fileIDs.empty() && folderIDs.empty())
        co_return;
    const QJsonObject body{
        {QStringLiteral("file_ids"), idArray(fileIDs)},
        {QStringLiteral("folder_ids"), idArray(folderIDs)},
        {QStringLiteral("target_folder_id"), targetFolderID.value_or(rootFolderID)}};
    co_await client->post(QStringLiteral("/drive/move"), body, std::move(cancel));
}

QCoro::Task<> DriveAPI::trash(std::vector<qint64> fileIDs, std::vector<qint64> folderIDs,
                              CancellationToken cancel) const
{
    const auto client = m_client;
    if (fileIDs.empty() && folderIDs.empty())
        co_return;
    // To the service's trash: this client offers no permanent deletion.
    const QJsonObject body{{QStringLiteral("file_ids"), idArray(fileIDs)},
                           {QStringLiteral("folder_ids"), idArray(folderIDs)}};
    co_await client->post(QStringLiteral("/drive/bulk-delete"), body, std::move(cancel));
}

} // namespace OrvelanNimbal
