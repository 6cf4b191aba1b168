// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/PasswordHash.h"

#include "foundation/Secrets.h"

#include <QStringList>

#include <openssl/evp.h>
#include <stdexcept>

namespace OrvelanNimbal::Service::PasswordHash {

namespace {

constexpr int saltBytes = 16;
constexpr int keyBytes = 32;
const QString scheme = QStringLiteral("pbkdf2-sha256");

QByteArray derive(const QString &password, const QByteArray &salt, int iterations)
{
    const QByteArray secret = password.toUtf8();
    QByteArray key(keyBytes, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(secret.constData(), int(secret.size()),
                          reinterpret_cast<const unsigned char *>(salt.constData()),
                          int(salt.size()), iterations, EVP_sha256(), keyBytes,
                          reinterpret_cast<unsigned char *>(key.data()))
        != 1)
        throw std::runtime_error("PBKDF2 indisponible");
    return key;
}

} // namespace

QString make(const QString &password, int iterations)
{
    const QByteArray salt = randomBytes(saltBytes);
    const QByteArray key = derive(password, salt, iterations);
    return scheme + u'$' + QString::number(iterations) + u'$' + QString::fromLatin1(salt.toBase64())
           + u'$' + QString::fromLatin1(key.toBase64());
}

bool verify(const QString &password, const QString &stored)
{
    const QStringList parts = stored.split(u'$');
    if (parts.size() != 4 || parts[0] != scheme)
        return false;
    bool numeric = false;
    const int iterations = parts[1].toInt(&numeric);
    if (!numeric || iterations < 1)
        return false;
    const auto salt = QByteArray::fromBase64Encoding(parts[2].toLatin1(),
                                                     QByteArray::AbortOnBase64DecodingErrors);
    const auto key = QByteArray::fromBase64Encoding(parts[3].toLatin1(),
                                                    QByteArray::AbortOnBase64DecodingErrors);
    if (!salt || !key || key.decoded.size() != keyBytes)
        return false;
    return constantTimeEquals(derive(password, *salt, iterations), *key);
}

void verifyNothing(const QString &password)
{
    static const QString decoy = make(QStringLiteral("decoy"));
    verify(password, decoy);
}

} // namespace OrvelanNimbal::Service::PasswordHash
