// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/UploadSource_p.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"

#include <QFile>
#include <QFileInfo>

namespace OrvelanNimbal::Uploads {

UploadSource::UploadSource(const QUrl &url)
    : m_path(url.toLocalFile())
{
    if (m_path.isEmpty())
        throw FileError(url.toString(), QStringLiteral("ce n'est pas un fichier local"));
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(m_path, file.errorString());
}

FileRegion UploadSource::region(qint64 offset, qint64 length) const
{
    if (QFileInfo(m_path).size() < offset + length)
        throw DriveError::transport(QStringLiteral("le fichier a changé pendant l'envoi"));
    return {m_path, offset, length};
}

QByteArray UploadSource::read(qint64 offset, qint64 length) const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        throw FileError(m_path, file.errorString());
    QByteArray bytes(length, Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < length) {
        const qint64 got = file.read(bytes.data() + filled, length - filled);
        if (got < 0)
            throw FileError(m_path, file.errorString());
        if (got == 0)
            throw DriveError::transport(QStringLiteral("le fichier a changé pendant l'envoi"));
        filled += got;
    }
    return bytes;
}

} // namespace OrvelanNimbal::Uploads
