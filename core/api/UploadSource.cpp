// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/UploadSource_p.h"
#include "async/OffMainThread.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"

namespace OrvelanNimbal::Uploads {

namespace {

QByteArray readExactly(QFile &file, qint64 length)
{
    QByteArray bytes(length, Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < length) {
        const qint64 read = file.read(bytes.data() + filled, length - filled);
        if (read < 0)
            throw FileError(file.fileName(), file.errorString());
        if (read == 0)
            throw DriveError::transport(QStringLiteral("le fichier a changé pendant l'envoi"));
        filled += read;
    }
    return bytes;
}

} // namespace

UploadSource::UploadSource(const QUrl &url)
{
    const QString path = url.toLocalFile();
    if (path.isEmpty())
        throw FileError(url.toString(), QStringLiteral("ce n'est pas un fichier local"));
    m_file.setFileName(path);
    // Unbuffered: every byte is read once, straight into the part that carries it.
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw FileError(path, m_file.errorString());
}

QCoro::Task<QByteArray> UploadSource::read(qint64 length)
{
    // Only one read at a time ever runs on the file: the caller awaits each before the next.
    return runOffMainThread([file = &m_file, length] { return readExactly(*file, length); });
}

} // namespace OrvelanNimbal::Uploads
