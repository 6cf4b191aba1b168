// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace OrvelanNimbal::Service {

class Connection;

// The three bearer secrets signing in hands out. Each is a fresh random token given to the
// client once and kept here only as its digest, with the instant it stops being valid.

// Access tokens: the "Authorization: Bearer" of every drive request.
namespace AccessTokens {
QString issue(Connection &connection, std::int64_t accountId, std::int64_t now,
              std::int64_t lifetime);
// The account of a token that is known and not yet expired.
std::optional<std::int64_t> accountOf(Connection &connection, const QString &token,
                                      std::int64_t now);
} // namespace AccessTokens

// Pending logins: a password was accepted and a second factor is awaited.
namespace PendingLogins {
struct Lookup {
    enum class State { valid, expired, unknown };
    State state = State::unknown;
    std::int64_t accountId = 0;
};
QString issue(Connection &connection, std::int64_t accountId, std::int64_t now,
              std::int64_t lifetime);
Lookup find(Connection &connection, const QString &token, std::int64_t now);
// A pending login completes once; an expired one is dropped when seen.
void remove(Connection &connection, const QString &token);
} // namespace PendingLogins

// Trusted devices: a remembered computer skips the second factor until the token expires.
namespace TrustedDevices {
QString issue(Connection &connection, std::int64_t accountId, const QString &label,
              std::int64_t now, std::int64_t lifetime);
bool isTrusted(Connection &connection, std::int64_t accountId, const QString &token,
               std::int64_t now);
} // namespace TrustedDevices

// What a test control can void at once.
struct Expiry {
    bool accessTokens = true;
    bool pendingLogins = false;
    bool trustedDevices = false;
};
// Makes the chosen kinds of token expire at `now`; the number of tokens voided.
int expireTokens(Connection &connection, const Expiry &expiry, std::int64_t now);

} // namespace OrvelanNimbal::Service
