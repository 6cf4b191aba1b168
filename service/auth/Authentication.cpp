// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/Authentication.h"

#include "auth/Tokens.h"
#include "foundation/Database.h"
#include "foundation/JsonHttp.h"
#include "ServiceContext.h"

#include <algorithm>
#include <cctype>
#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

// The characters of a bearer token: letters, digits, "-._~+/", then "=" padding only.
bool isTokenText(std::string_view token)
{
    const std::size_t padding = token.find_first_of('=');
    const std::string_view text = token.substr(0, padding);
    const bool textOk = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c))
               || std::string_view("-._~+/").find(c) != std::string_view::npos;
    });
    const std::string_view pad =
        padding == std::string_view::npos ? std::string_view() : token.substr(padding);
    return textOk && std::all_of(pad.begin(), pad.end(), [](char c) { return c == '='; });
}

} // namespace

std::optional<QString> bearerToken(const httplib::Request &request)
{
    static constexpr std::string_view scheme = "Bearer ";
    // Read from the headers themselves: the library's look-up gives a value cut at its first
    // NUL, which would hide whatever follows.
    const auto [first, end] = request.headers.equal_range("Authorization");
    if (first == end || std::next(first) != end)
        return std::nullopt;
    const std::string_view header = first->second;
    if (!header.starts_with(scheme) || !isTokenText(header.substr(scheme.size())))
        return std::nullopt;
    const std::string_view token = header.substr(scheme.size());
    return QString::fromLatin1(token.data(), qsizetype(token.size()));
}

std::optional<Account> authenticate(ServiceContext &context, const httplib::Request &request,
                                    httplib::Response &response)
{
    std::optional<Account> account;
    if (const auto token = bearerToken(request)) {
        account = context.database().read([&](Connection &connection) -> std::optional<Account> {
            const auto id = AccessTokens::accountOf(connection, *token, context.now());
            return id ? Accounts::findById(connection, *id) : std::nullopt;
        });
    }
    if (!account) {
        response.set_header("WWW-Authenticate", "Bearer");
        sendError(response, 401, QStringLiteral("unauthorized"),
                  QStringLiteral("jeton d'accès absent, inconnu ou expiré"));
    }
    return account;
}

bool admitSignedIn(ServiceContext &context, const httplib::Request &request,
                   httplib::Response &response)
{
    return authenticate(context, request, response).has_value();
}

} // namespace OrvelanNimbal::Service
