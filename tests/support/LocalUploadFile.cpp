// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocalUploadFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <stdexcept>

namespace OrvelanNimbal::Testing {

QByteArray generatedContent(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    const qint64 words = size / qint64(sizeof(quint32));
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), words);
    for (qint64 i = words * qint64(sizeof(quint32)); i < size; ++i)
        bytes[i] = char(generator.generate());
    return bytes;
}

LocalUploadFile::LocalUploadFile(const QByteArray &content, const QString &name)
    : m_path(m_folder.filePath(name))
    , m_content(content)
{
    QFile file(m_path);
    if (!m_folder.isValid() || !file.open(QIODevice::WriteOnly)
        || file.write(content) != content.size())
        throw std::runtime_error("cannot write the file to upload");
}

DriveAPI::LocalContent LocalUploadFile::localContent() const
{
    return {QUrl::fromLocalFile(m_path), m_content.size(),
            QString::fromLatin1(
                QCryptographicHash::hash(m_content, QCryptographicHash::Sha256).toHex()),
            QStringLiteral("application/octet-stream")};
}

void LocalUploadFile::truncate(qint64 size)
{
    if (!QFile::resize(m_path, size))
        throw std::runtime_error("cannot truncate the file being uploaded");
}

void LocalUploadFile::overwrite(qint64 offset, const QByteArray &bytes)
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(offset) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot change the file being uploaded");
}

} // namespace OrvelanNimbal::Testing
