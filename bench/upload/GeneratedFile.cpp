// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/GeneratedFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryFile>

namespace Bench {

namespace {

constexpr std::int64_t blockSize = 8 * 1024 * 1024;

} // namespace

GeneratedFile::GeneratedFile(std::int64_t size)
    : m_size(size)
{
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/bench-upload-XXXXXX.bin"));
    file.setAutoRemove(false);
    if (!file.open())
        return;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QRandomGenerator generator(20240501);
    QByteArray block(blockSize, Qt::Uninitialized);
    for (std::int64_t written = 0; written < size;) {
        const std::int64_t length = std::min(blockSize, size - written);
        generator.fillRange(reinterpret_cast<quint32 *>(block.data()), blockSize / 4);
        if (file.write(block.constData(), length) != length) {
            file.remove();
            return;
        }
        hash.addData(QByteArrayView(block.constData(), length));
        written += length;
    }
    m_path = file.fileName();
    m_sha256 = QString::fromLatin1(hash.result().toHex());
}

GeneratedFile::~GeneratedFile()
{
    if (!m_path.isEmpty())
        QFile::remove(m_path);
}

} // namespace Bench
