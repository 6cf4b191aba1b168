// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/MemoryBackedFolder.h"

#include <QStorageInfo>

namespace Bench {

std::unique_ptr<QTemporaryDir> memoryBackedFolder(const char *name, qint64 bytesNeeded)
{
    const QStorageInfo shared(QStringLiteral("/dev/shm"));
    if (!shared.isValid() || shared.bytesAvailable() < bytesNeeded)
        return nullptr;
    auto directory = std::make_unique<QTemporaryDir>(
        QStringLiteral("/dev/shm/nimbal-%1-XXXXXX").arg(QString::fromLatin1(name)));
    if (!directory->isValid())
        return nullptr;
    qputenv("TMPDIR", directory->path().toUtf8());
    return directory;
}

} // namespace Bench
