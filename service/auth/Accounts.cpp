// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/Accounts.h"

#include "auth/PasswordHash.h"
#include "auth/RecoveryCodes.h"
#include "auth/Totp.h"
#include "foundation/Database.h"

namespace OrvelanNimbal::Service::Accounts {

namespace {

const char *const accountColumns =
    "SELECT id, email, password_hash, totp_secret, totp_last_step, passkey_only, quota_max_mb,"
    " storage_used_bytes FROM accounts ";

std::optional<Account> firstAccount(Statement &row)
{
    if (!row.step())
        return std::nullopt;
    Account account;
    account.id = row.int64(0);
    account.email = row.text(1);
    account.passwordHash = row.text(2);
    if (!row.isNull(3))
        account.totpSecret = row.text(3);
    account.totpLastStep = row.int64(4);
    account.passkeyOnly = row.int64(5) != 0;
    account.quotaMaxMegabytes = row.int64(6);
    account.storageUsedBytes = row.int64(7);
    return account;
}

void validate(const NewAccount &account)
{
    const auto invalid = [](const char *text) {
        return AccountError(AccountError::Reason::invalid, text);
    };
    const QString email = account.email.trimmed();
    if (email.isEmpty() || !email.contains(u'@') || email != account.email)
        throw invalid("adresse invalide : il faut une adresse e-mail sans espaces autour");
    if (account.password.isEmpty())
        throw invalid("le mot de passe ne peut pas être vide");
    if (account.totpSecret && !Totp::decodeBase32(*account.totpSecret))
        throw invalid("le secret TOTP doit être du base32 (A-Z, 2-7)");
    if (account.totpSecret && account.passkeyOnly)
        throw invalid("un compte à clé d'accès seule n'a pas de secret TOTP");
    for (const QString &code : account.recoveryCodes) {
        if (RecoveryCodes::normalize(code).isEmpty())
            throw invalid("code de secours vide");
    }
    if (account.quotaMegabytes < 0)
        throw invalid("le quota ne peut pas être négatif");
}

} // namespace

QString emailKey(const QString &email)
{
    return email.toLower();
}

std::int64_t create(Connection &connection, const NewAccount &account, std::int64_t now)
{
    validate(account);
    if (findByEmail(connection, account.email))
        throw AccountError(AccountError::Reason::exists,
                           "un compte existe déjà pour " + account.email.toStdString());
    std::optional<QString> secret;
    if (account.totpSecret)
        secret = account.totpSecret->toUpper().remove(u' ').remove(u'-').remove(u'=');
    connection.exec("INSERT INTO accounts (email, email_key, password_hash, totp_secret,"
                    " passkey_only, quota_max_mb, created_at) VALUES (?, ?, ?, ?, ?, ?, ?)",
                    account.email, emailKey(account.email), PasswordHash::make(account.password),
                    secret, account.passkeyOnly, account.quotaMegabytes, now);
    const std::int64_t id = connection.lastInsertId();
    for (const QString &code : account.recoveryCodes)
        RecoveryCodes::add(connection, id, code);
    return id;
}

std::optional<Account> findByEmail(Connection &connection, const QString &email)
{
    Statement row =
        connection.query(std::string(accountColumns) + "WHERE email_key = ?", emailKey(email));
    return firstAccount(row);
}

std::optional<Account> findById(Connection &connection, std::int64_t id)
{
    Statement row = connection.query(std::string(accountColumns) + "WHERE id = ?", id);
    return firstAccount(row);
}

void setTotpLastStep(Connection &connection, std::int64_t accountId, std::int64_t step)
{
    connection.exec("UPDATE accounts SET totp_last_step = ? WHERE id = ?", step, accountId);
}

QStringList secondFactorMethods(Connection &connection, const Account &account)
{
    QStringList methods;
    if (account.totpSecret)
        methods.append(QStringLiteral("totp"));
    if (account.passkeyOnly)
        methods.append(QStringLiteral("webauthn"));
    if (!methods.isEmpty() && RecoveryCodes::hasUnused(connection, account.id))
        methods.append(QStringLiteral("recovery"));
    return methods;
}

} // namespace OrvelanNimbal::Service::Accounts
