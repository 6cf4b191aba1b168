// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/ContentStore.h"

#include "foundation/DataDirectory.h"
#include "foundation/Secrets.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

#include <stdexcept>
#include <system_error>

namespace OrvelanNimbal::Service {

namespace {

constexpr int keyRandomBytes = 16;

bool isWellFormedKey(const QString &key)
{
    static const QRegularExpression shape(QStringLiteral("^[A-Za-z0-9_-]+(/[A-Za-z0-9_-]+)*$"));
    return shape.match(key).hasMatch();
}

} // namespace

ContentStore::ContentStore(std::filesystem::path root)
    : m_root(std::move(root))
{}

ContentStore ContentStore::inDataDirectory(const std::filesystem::path &dataDirectory)
{
    return ContentStore(dataDirectory / "storage");
}

QString ContentStore::newKey(std::int64_t accountId)
{
    return QStringLiteral("drive/%1/%2")
        .arg(accountId)
        .arg(QString::fromLatin1(randomBytes(keyRandomBytes).toHex()));
}

std::optional<std::filesystem::path> ContentStore::pathOf(const QString &key) const
{
    if (!isWellFormedKey(key))
        return std::nullopt;
    return m_root / key.toStdString();
}

void ContentStore::write(const QString &key, QByteArrayView bytes) const
{
    const auto path = pathOf(key);
    if (!path)
        throw std::runtime_error("clé de contenu malformée");
    std::error_code error;
    createPrivateFolders(path->parent_path(), error);
    QSaveFile file(QString::fromStdString(path->string()));
    if (error || !file.open(QIODevice::WriteOnly)
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(bytes.data(), bytes.size()) != bytes.size() || !file.commit())
        throw std::runtime_error("écriture du contenu impossible : "
                                 + (error ? error.message() : file.errorString().toStdString()));
}

void ContentStore::remove(const QString &key) const
{
    if (const auto path = pathOf(key)) {
        std::error_code ignored; // content already gone is what was asked for
        std::filesystem::remove(*path, ignored);
    }
}

QString contentHash(QByteArrayView bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace OrvelanNimbal::Service
