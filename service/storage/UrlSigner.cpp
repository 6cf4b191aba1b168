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

std::optional<UrlSigner::QueryFields> UrlSigner::readQuery(std::string_view query)
{
    QueryFields fields;
    bool sawExpires = false;
    bool sawSignature = false;
    for (;;) {
        const std::size_t end = query.find('&');
        const std::string_view field = query.substr(0, end);
        const std::size_t equals = field.find('=');
        if (equals == std::string_view::npos
            || field.find('=', equals + 1) != std::string_view::npos || equals + 1 == field.size())
            return std::nullopt;
        const std::string_view name = field.substr(0, equals);
        const std::string_view value = field.substr(equals + 1);
        if (name == "expires" && !sawExpires) {
            fields.expires = value;
            sawExpires = true;
        } else if (name == "signature" && !sawSignature) {
            fields.signature = value;
            sawSignature = true;
        } else {
            return std::nullopt;
        }
        if (end == std::string_view::npos)
            break;
        query.remove_prefix(end + 1);
    }
    if (!sawExpires || !sawSignature)
        return std::nullopt;
    return fields;
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
