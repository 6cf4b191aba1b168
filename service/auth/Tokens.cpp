// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/Tokens.h"

#include "foundation/Database.h"
#include "foundation/Secrets.h"

namespace OrvelanNimbal::Service {

namespace {

// Labels come from the client; a long one is cut rather than refused.
constexpr qsizetype maxDeviceLabelLength = 100;

} // namespace

QString AccessTokens::issue(Connection &connection, std::int64_t accountId, std::int64_t now,
                            std::int64_t lifetime)
{
    QString token = newToken();
    connection.exec("INSERT INTO access_tokens (token_digest, account_id, expires_at)"
                    " VALUES (?, ?, ?)",
                    tokenDigest(token), accountId, now + lifetime);
    return token;
}

std::optional<std::int64_t> AccessTokens::accountOf(Connection &connection, const QString &token,
                                                    std::int64_t now)
{
    Statement row = connection.query(
        "SELECT account_id FROM access_tokens WHERE token_digest = ? AND expires_at > ?",
        tokenDigest(token), now);
    if (!row.step())
        return std::nullopt;
    return row.int64(0);
}

QString PendingLogins::issue(Connection &connection, std::int64_t accountId, std::int64_t now,
                             std::int64_t lifetime)
{
    QString token = newToken();
    connection.exec("INSERT INTO pending_logins (token_digest, account_id, expires_at)"
                    " VALUES (?, ?, ?)",
                    tokenDigest(token), accountId, now + lifetime);
    return token;
}

PendingLogins::Lookup PendingLogins::find(Connection &connection, const QString &token,
                                          std::int64_t now)
{
    Statement row =
        connection.query("SELECT account_id, expires_at FROM pending_logins WHERE token_digest = ?",
                         tokenDigest(token));
    if (!row.step())
        return {};
    const bool expired = row.int64(1) <= now;
    return {expired ? Lookup::State::expired : Lookup::State::valid, row.int64(0)};
}

void PendingLogins::remove(Connection &connection, const QString &token)
{
    connection.exec("DELETE FROM pending_logins WHERE token_digest = ?", tokenDigest(token));
}

QString TrustedDevices::issue(Connection &connection, std::int64_t accountId, const QString &label,
                              std::int64_t now, std::int64_t lifetime)
{
    QString token = newToken();
    connection.exec("INSERT INTO trusted_devices (token_digest, account_id, label, expires_at)"
                    " VALUES (?, ?, ?, ?)",
                    tokenDigest(token), accountId, label.trimmed().left(maxDeviceLabelLength),
                    now + lifetime);
    return token;
}

bool TrustedDevices::isTrusted(Connection &connection, std::int64_t accountId, const QString &token,
                               std::int64_t now)
{
    Statement row = connection.query("SELECT 1 FROM trusted_devices WHERE token_digest = ?"
                                     " AND account_id = ? AND expires_at > ?",
                                     tokenDigest(token), accountId, now);
    return row.step();
}

int expireTokens(Connection &connection, const Expiry &expiry, std::int64_t now)
{
    int voided = 0;
    if (expiry.accessTokens)
        voided += connection.exec("UPDATE access_tokens SET expires_at = ? WHERE expires_at > ?",
                                  now, now);
    if (expiry.pendingLogins)
        voided += connection.exec("UPDATE pending_logins SET expires_at = ? WHERE expires_at > ?",
                                  now, now);
    if (expiry.trustedDevices)
        voided += connection.exec("UPDATE trusted_devices SET expires_at = ? WHERE expires_at > ?",
                                  now, now);
    return voided;
}

} // namespace OrvelanNimbal::Service
