// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace OrvelanNimbal::Service {

// Pre-signed addresses: a method, a path of this server and an expiry, signed with HMAC-SHA256
// under a secret the service draws when it starts. Such an address needs no token, yet cannot
// be pointed at other content, used with another method or kept beyond its time. A restart
// voids every address handed out, which clients survive by asking again.
class UrlSigner {
public:
    enum class Verdict { valid, expired, forged };

    UrlSigner();
    explicit UrlSigner(QByteArray secret);

    // What follows "?" in the address of `path`: "expires=E&signature=S".
    std::string query(std::string_view method, std::string_view path, std::int64_t expires) const;

    // The expiry and the signature of a query as query() writes it: each once, each
    // "name=value" with one "=", in either order, and nothing else; nothing otherwise.
    struct QueryFields {
        std::string_view expires;
        std::string_view signature;
    };
    static std::optional<QueryFields> readQuery(std::string_view query);

    // `expires` and `signature` as the query carried them; `path` decoded, as the server routes.
    Verdict check(std::string_view method, std::string_view path, std::string_view expires,
                  std::string_view signature, std::int64_t now) const;

private:
    QByteArray signature(std::string_view method, std::string_view path,
                         std::string_view expires) const;

    QByteArray m_secret;
};

} // namespace OrvelanNimbal::Service
