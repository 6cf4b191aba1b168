// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/PartStore.h"

#include "foundation/DataDirectory.h"

#include <QRegularExpression>

#include <stdexcept>

namespace OrvelanNimbal::Service {

namespace {

bool isUploadId(const QString &id)
{
    static const QRegularExpression shape(QStringLiteral("^[0-9a-f]{32}$"));
    return shape.match(id).hasMatch();
}

} // namespace

PartStore::PartStore(std::filesystem::path root)
    : m_root(std::move(root))
{}

PartStore PartStore::inDataDirectory(const std::filesystem::path &dataDirectory)
{
    return PartStore(dataDirectory / "uploads");
}

std::filesystem::path PartStore::folderOf(std::int64_t accountId, const QString &uploadId) const
{
    if (!isUploadId(uploadId))
        throw std::runtime_error("identifiant d'envoi malformé");
    return m_root / std::to_string(accountId) / uploadId.toStdString();
}

std::filesystem::path PartStore::partPath(std::int64_t accountId, const QString &uploadId,
                                          int number) const
{
    return folderOf(accountId, uploadId) / std::to_string(number);
}

std::filesystem::path PartStore::contentPath(std::int64_t accountId,
                                             const QString &uploadId) const
{
    return folderOf(accountId, uploadId) / "content";
}

void PartStore::removeUpload(std::int64_t accountId, const QString &uploadId) const
{
    std::error_code ignored; // parts already gone are what was asked for
    std::filesystem::remove_all(folderOf(accountId, uploadId), ignored);
}

int PartStore::countFiles(std::int64_t accountId) const
{
    return regularFilesUnder(m_root / std::to_string(accountId));
}

} // namespace OrvelanNimbal::Service
