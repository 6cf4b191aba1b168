// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/RecoveryCodes.h"

#include "foundation/Database.h"
#include "foundation/Secrets.h"

namespace OrvelanNimbal::Service::RecoveryCodes {

namespace {

// The account is part of what is hashed, so the same code on two accounts has two digests.
QString digest(std::int64_t accountId, const QString &code)
{
    return tokenDigest(QStringLiteral("recovery:%1:%2").arg(accountId).arg(normalize(code)));
}

} // namespace

QString normalize(const QString &code)
{
    QString result;
    for (const QChar c : code) {
        if (!c.isSpace() && c != u'-')
            result.append(c.toLower());
    }
    return result;
}

void add(Connection &connection, std::int64_t accountId, const QString &code)
{
    connection.exec("INSERT OR IGNORE INTO recovery_codes (account_id, code_digest) VALUES (?, ?)",
                    accountId, digest(accountId, code));
}

bool hasUnused(Connection &connection, std::int64_t accountId)
{
    Statement row = connection.query(
        "SELECT 1 FROM recovery_codes WHERE account_id = ? AND used_at IS NULL LIMIT 1", accountId);
    return row.step();
}

bool consume(Connection &connection, std::int64_t accountId, const QString &code, std::int64_t now)
{
    if (normalize(code).isEmpty())
        return false;
    return connection.exec("UPDATE recovery_codes SET used_at = ? WHERE account_id = ?"
                           " AND code_digest = ? AND used_at IS NULL",
                           now, accountId, digest(accountId, code))
           == 1;
}

} // namespace OrvelanNimbal::Service::RecoveryCodes
