// SPDX-License-Identifier: GPL-3.0-or-later
#include "updates/ReleaseSigning.h"

#include <cstdio>
#include <memory>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <stdexcept>

namespace OrvelanNimbal::Service {

namespace {

using File = std::unique_ptr<FILE, decltype(&std::fclose)>;
using PrivateKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using SignContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

constexpr size_t signatureSize = 64;

} // namespace

QByteArray signEd25519(const std::filesystem::path &keyFile, QByteArrayView message)
{
    File file(std::fopen(keyFile.c_str(), "rb"), &std::fclose);
    if (!file)
        throw std::runtime_error("clé de signature illisible : " + keyFile.string());
    const PrivateKey key(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr),
                         &EVP_PKEY_free);
    ERR_clear_error();
    if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_ED25519)
        throw std::runtime_error("pas une clé privée Ed25519 : " + keyFile.string());
    const SignContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    QByteArray signature(qsizetype(signatureSize), '\0');
    size_t length = signatureSize;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1
        || EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(signature.data()),
                          &length, reinterpret_cast<const unsigned char *>(message.data()),
                          size_t(message.size()))
               != 1
        || length != signatureSize) {
        ERR_clear_error();
        throw std::runtime_error("la signature Ed25519 a échoué");
    }
    return signature;
}

} // namespace OrvelanNimbal::Service
