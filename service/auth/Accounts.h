// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace OrvelanNimbal::Service {

struct SchemaModule;

class Connection;

struct Account {
    std::int64_t id = 0;
    QString email; // canonical form, as created
    QString passwordHash;
    std::optional<QString> totpSecret; // base32
    std::int64_t totpLastStep = 0;
    bool passkeyOnly = false;
    std::int64_t quotaMaxMegabytes = 0;
    std::int64_t storageUsedBytes = 0;

    // A second factor is asked at every sign-in from a device that is not trusted.
    bool requiresSecondFactor() const { return totpSecret.has_value() || passkeyOnly; }
};

struct NewAccount {
    QString email;
    QString password;
    std::optional<QString> totpSecret;
    QStringList recoveryCodes;
    bool passkeyOnly = false; // the second factor is a passkey, which this service cannot check
    std::int64_t quotaMegabytes = 10240;
};

// An account that cannot be created as asked; the text says why, in French.
class AccountError : public std::runtime_error {
public:
    enum class Reason { invalid, exists };
    AccountError(Reason reason, const std::string &text)
        : std::runtime_error(text)
        , reason(reason)
    {}
    Reason reason;
};

namespace Accounts {

// The look-up form of an address: addresses differ only in letter case are the same account.
QString emailKey(const QString &email);

// Validates, hashes the password and the recovery codes, and stores. Throws AccountError.
std::int64_t create(Connection &connection, const NewAccount &account, std::int64_t now);

std::optional<Account> findByEmail(Connection &connection, const QString &email);
std::optional<Account> findById(Connection &connection, std::int64_t id);

void setTotpLastStep(Connection &connection, std::int64_t accountId, std::int64_t step);

// The second factors a challenge offers: "totp" or "webauthn", then "recovery" while unused
// recovery codes remain. Empty for an account without a second factor.
QStringList secondFactorMethods(Connection &connection, const Account &account);

} // namespace Accounts

// The tables of accounts and of what signing in hands out.
SchemaModule accountsSchema();

} // namespace OrvelanNimbal::Service
