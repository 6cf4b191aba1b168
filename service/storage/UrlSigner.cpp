// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/UrlSigner.h"

#include "foundation/Secrets.h"

#include <QMessageAuthenticationCode>

#include <charconv>

namespace OrvelanNimbal::Service {

namespace {

constexpr int secretBytes = 32;

void feed(QMessageAuthenticationCode &mac, std::string_view text)
{
    mac.addData(text.data(), qsizetype(text.size()));
}

} // namespace

UrlSigner::UrlSigner()
    : UrlSigner(randomBytes(secretBytes))
{}

UrlSigner::UrlSigner(QByteArray secret)
    : m_secret(std::move(secret))
{}

QByteArray UrlSigner::signature(std::string_view method, std::string_view path,
                                std::string_view expires) const
{
    // Fields joined by a line break, which none of them may hold, so that no two different
    // triples sign the same text.
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, m_secret);
    feed(mac, method);
    feed(mac, "\n");
    feed(mac, path);
    feed(mac, "\n");
    feed(mac, expires);
    return mac.result().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

std::string UrlSigner::query(std::string_view method, std::string_view path,
                             std::int64_t expires) const
{
    const std::string expiresText = std::to_string(expires);
    return "expires=" + expiresText
           + "&signature=" + signature(method, path, expiresText).toStdString();
}

UrlSigner::Verdict UrlSigner::check(std::string_view method, std::string_view path,
                                    std::string_view expires, std::string_view signature,
                                    std::int64_t now) const
{
    for (const std::string_view field : {method, path, expires}) {
        if (field.find('\n') != std::string_view::npos)
            return Verdict::forged;
    }
    const QByteArray expected = this->signature(method, path, expires);
    if (!constantTimeEquals(expected, QByteArray(signature.data(), qsizetype(signature.size()))))
        return Verdict::forged;
    std::int64_t deadline = 0;
    const auto [end, error] =
        std::from_chars(expires.data(), expires.data() + expires.size(), deadline);
    if (error != std::errc() || end != expires.data() + expires.size())
        return Verdict::forged;
    return now < deadline ? Verdict::valid : Verdict::expired;
}

} // namespace OrvelanNimbal::Service
