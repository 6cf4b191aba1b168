// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/ReleaseSignature.h"

#include "updates/UpdateError.h"
#include "updates/UpdateLogging_p.h"

#include <QFile>

#include <memory>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

namespace OrvelanNimbal {

namespace {

using PublicKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using VerifyContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

constexpr qsizetype ed25519SignatureSize = 64;

PublicKey readPublicKey(QByteArrayView der)
{
    auto cursor = reinterpret_cast<const unsigned char *>(der.data());
    PublicKey key(d2i_PUBKEY(nullptr, &cursor, long(der.size())), &EVP_PKEY_free);
    // Trailing bytes mean the compiled-in key is not what its builder thought it was.
    const bool whole = cursor == reinterpret_cast<const unsigned char *>(der.data() + der.size());
    if (!key || !whole || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_ED25519)
        return PublicKey(nullptr, &EVP_PKEY_free);
    return key;
}

} // namespace

bool isValidEd25519Signature(QByteArrayView publicKey, QByteArrayView message,
                             QByteArrayView signature)
{
    const PublicKey key = readPublicKey(publicKey);
    const VerifyContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    // Ed25519 hashes inside the signature scheme: no digest is named, and the message goes in
    // whole, in one call.
    const bool valid =
        key && context && signature.size() == ed25519SignatureSize
        && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1
        && EVP_DigestVerify(
               context.get(), reinterpret_cast<const unsigned char *>(signature.data()),
               size_t(signature.size()), reinterpret_cast<const unsigned char *>(message.data()),
               size_t(message.size()))
               == 1;
    // A refusal leaves its reasons on this thread's error queue; nobody else will read them.
    ERR_clear_error();
    return valid;
}

void verifyRelease(const QString &path, qint64 expectedLength, const QByteArray &signatureBase64,
                   const QByteArray &publicKey)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != expectedLength) {
        qCWarning(lcUpdates, "downloaded release holds %lld bytes, %lld announced",
                  static_cast<long long>(file.size()), static_cast<long long>(expectedLength));
        throw UpdateError(UpdateError::Kind::incomplete);
    }
    const auto signature =
        QByteArray::fromBase64Encoding(signatureBase64, QByteArray::AbortOnBase64DecodingErrors);
    // Mapped rather than read: a release of a hundred megabytes needs no copy in memory.
    const uchar *bytes = file.map(0, file.size());
    if (!bytes)
        throw UpdateError(UpdateError::Kind::downloadFailed, file.errorString());
    const bool valid =
        signature
        && isValidEd25519Signature(
            publicKey, QByteArrayView(reinterpret_cast<const char *>(bytes), file.size()),
            *signature);
    if (!valid) {
        qCWarning(lcUpdates, "release signature refused");
        throw UpdateError(UpdateError::Kind::signatureInvalid);
    }
}

} // namespace OrvelanNimbal
