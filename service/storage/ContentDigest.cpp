// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/ContentDigest.h"

#include <QByteArray>

#include <openssl/evp.h>
#include <stdexcept>

namespace OrvelanNimbal::Service {

namespace {

// Only an allocation failure or a configuration that forbids SHA-256 gets here: nothing the
// request can change, and never a reason to record a wrong hash.
[[noreturn]] void digestUnavailable()
{
    throw std::runtime_error("SHA-256 indisponible dans OpenSSL");
}

} // namespace

ContentDigest::ContentDigest()
    : m_context(EVP_MD_CTX_new(), &EVP_MD_CTX_free)
{
    if (!m_context || EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) != 1)
        digestUnavailable();
}

ContentDigest::~ContentDigest() = default;

ContentDigest::ContentDigest(const ContentDigest &other)
    : m_context(EVP_MD_CTX_new(), &EVP_MD_CTX_free)
{
    if (!m_context || EVP_MD_CTX_copy_ex(m_context.get(), other.m_context.get()) != 1)
        digestUnavailable();
}

ContentDigest &ContentDigest::operator=(const ContentDigest &other)
{
    if (this != &other && EVP_MD_CTX_copy_ex(m_context.get(), other.m_context.get()) != 1)
        digestUnavailable();
    return *this;
}

void ContentDigest::add(const char *data, std::size_t length)
{
    if (EVP_DigestUpdate(m_context.get(), data, length) != 1)
        digestUnavailable();
}

QString ContentDigest::hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_context.get(), digest, &length) != 1)
        digestUnavailable();
    return QString::fromLatin1(
        QByteArray::fromRawData(reinterpret_cast<const char *>(digest), int(length)).toHex());
}

} // namespace OrvelanNimbal::Service
