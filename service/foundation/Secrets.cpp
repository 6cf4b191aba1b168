// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/Secrets.h"

#include <QCryptographicHash>

#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <stdexcept>

namespace OrvelanNimbal::Service {

QByteArray randomBytes(int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    if (RAND_bytes(reinterpret_cast<unsigned char *>(bytes.data()), count) != 1)
        throw std::runtime_error("générateur aléatoire indisponible");
    return bytes;
}

QString newToken()
{
    return QString::fromLatin1(
        randomBytes(32).toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString tokenDigest(const QString &token)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

bool constantTimeEquals(const QByteArray &a, const QByteArray &b)
{
    return a.size() == b.size()
           && CRYPTO_memcmp(a.constData(), b.constData(), size_t(a.size())) == 0;
}

} // namespace OrvelanNimbal::Service
