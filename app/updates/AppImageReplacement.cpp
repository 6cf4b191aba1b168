// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/AppImageReplacement.h"

#include "updates/UpdateError.h"

#include <QFile>
#include <QSaveFile>

namespace OrvelanNimbal {

namespace {

constexpr qint64 copyPiece = 1024 * 1024;

[[noreturn]] void fail(const QFileDevice &file)
{
    throw UpdateError(UpdateError::Kind::installFailed, file.errorString());
}

} // namespace

void replaceAppImage(const QString &release, const QString &image)
{
    QFile source(release);
    if (!source.open(QIODevice::ReadOnly))
        fail(source);
    // Whatever the user allowed on the old image, and running it in any case.
    const auto permissions = QFile::permissions(image) | QFileDevice::ExeOwner
                             | QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    // Never the direct-write fallback: a half-written image is worse than none.
    QSaveFile replacement(image);
    if (!replacement.open(QIODevice::WriteOnly))
        fail(replacement);
    while (!source.atEnd()) {
        const QByteArray piece = source.read(copyPiece);
        if (piece.isEmpty() && source.error() != QFileDevice::NoError)
            fail(source);
        if (replacement.write(piece) != piece.size())
            fail(replacement);
    }
    if (!replacement.setPermissions(permissions) || !replacement.commit())
        fail(replacement);
}

} // namespace OrvelanNimbal
