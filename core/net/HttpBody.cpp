// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/HttpBody.h"

#include "errors/DriveError.h"
#include "errors/FileError.h"

#include <QFile>

namespace OrvelanNimbal {

QByteArray readFileRegion(const FileRegion &region, qint64 from, qint64 length)
{
    QFile file(region.path);
    // Unbuffered: the bytes go once, straight into the block that carries them.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw FileError(region.path, file.errorString());
    if (!file.seek(region.offset + from))
        throw FileError(region.path, file.errorString());
    QByteArray bytes(length, Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < length) {
        const qint64 read = file.read(bytes.data() + filled, length - filled);
        if (read < 0)
            throw FileError(region.path, file.errorString());
        if (read == 0)
            throw DriveError::transport(QStringLiteral("le fichier a changé pendant l'envoi"));
        filled += read;
    }
    return bytes;
}

void HttpBody::append(QByteArray bytes)
{
    if (bytes.isEmpty())
        return;
    m_size += bytes.size();
    m_pieces.emplace_back(std::move(bytes));
}

void HttpBody::append(FileRegion region)
{
    if (region.length <= 0)
        return;
    m_size += region.length;
    m_pieces.emplace_back(std::move(region));
}

QByteArray HttpBody::toByteArray() const
{
    if (m_pieces.size() == 1) {
        if (const auto *bytes = std::get_if<QByteArray>(&m_pieces.front()))
            return *bytes;
    }
    QByteArray whole;
    whole.reserve(m_size);
    for (const Piece &piece : m_pieces) {
        if (const auto *bytes = std::get_if<QByteArray>(&piece))
            whole += *bytes;
        else
            whole +=
                readFileRegion(std::get<FileRegion>(piece), 0, std::get<FileRegion>(piece).length);
    }
    return whole;
}

} // namespace OrvelanNimbal
