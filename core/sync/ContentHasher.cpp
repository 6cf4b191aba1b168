// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/ContentHasher.h"

#include "async/OffMainThread.h"
#include "errors/FileError.h"

#include <QFile>

#include <memory>
#include <openssl/evp.h>
#include <stdexcept>

namespace OrvelanNimbal::ContentHasher {

namespace {

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

// OpenSSL only fails here when it cannot allocate or its configuration forbids SHA-256: nothing
// a caller can act on, and never a reason to send a wrong hash.
[[noreturn]] void digestUnavailable()
{
    throw std::runtime_error("SHA-256 indisponible dans OpenSSL");
}

DigestContext startDigest()
{
    DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        digestUnavailable();
    return context;
}

QString finishDigest(EVP_MD_CTX *context)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context, digest, &length) != 1)
        digestUnavailable();
    const auto bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(digest), length);
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

Digest::Digest()
    : m_context(startDigest().release(), &EVP_MD_CTX_free)
{}

void Digest::add(QByteArrayView bytes)
{
    if (EVP_DigestUpdate(m_context.get(), bytes.data(), size_t(bytes.size())) != 1)
        digestUnavailable();
}

QString Digest::finish()
{
    return finishDigest(m_context.get());
}

QString sha256Blocking(const QUrl &file, const CancellationToken &cancel)
{
    const QString path = file.toLocalFile();
    if (path.isEmpty())
        throw FileError(file.toString(), QStringLiteral("ce n'est pas un fichier local"));
    // Unbuffered: QFile's own buffer would only add a copy of every block.
    QFile input(path);
    if (!input.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw FileError(path, input.errorString());

    Digest digest;
    const auto block = std::make_unique_for_overwrite<char[]>(blockSize);
    for (;;) {
        cancel.throwIfCancelled();
        const qint64 read = input.read(block.get(), blockSize);
        if (read < 0)
            throw FileError(path, input.errorString());
        if (read == 0)
            break;
        digest.add(QByteArrayView(block.get(), read));
    }
    return digest.finish();
}

QCoro::Task<QString> sha256(QUrl file, CancellationToken cancel)
{
    return runOffMainThread([file = std::move(file), cancel = std::move(cancel)] {
        return sha256Blocking(file, cancel);
    });
}

} // namespace OrvelanNimbal::ContentHasher
