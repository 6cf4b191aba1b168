// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/Authentication.h"

#include "auth/Tokens.h"
#include "foundation/Database.h"
#include "foundation/JsonHttp.h"
#include "foundation/ServiceContext.h"

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

std::optional<QString> bearerToken(const httplib::Request &request)
{
    static const std::string scheme = "Bearer ";
    const std::string header = request.get_header_value("Authorization");
    if (header.size() <= scheme.size() || header.compare(0, scheme.size(), scheme) != 0)
        return std::nullopt;
    return fromStd(header.substr(scheme.size())).trimmed();
}

} // namespace

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

} // namespace OrvelanNimbal::Service
