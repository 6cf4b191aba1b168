// SPDX-License-Identifier: GPL-3.0-or-later
// The tables of accounts and of what signing in hands out. Secrets that a client presents
// (tokens, recovery codes) are kept only as digests; the TOTP secret must stay readable, since
// the service computes the codes it compares.
#include "auth/Accounts.h"

#include "foundation/Schema.h"

namespace OrvelanNimbal::Service {

namespace {

const char *const version1 = R"sql(
CREATE TABLE accounts (
    id INTEGER PRIMARY KEY,
    email TEXT NOT NULL,                 -- as created; answers carry this form
    email_key TEXT NOT NULL UNIQUE,      -- lower-cased, for look-ups
    password_hash TEXT NOT NULL,
    totp_secret TEXT,                    -- base32; NULL without an authenticator
    totp_last_step INTEGER NOT NULL DEFAULT 0,
    passkey_only INTEGER NOT NULL DEFAULT 0,
    quota_max_mb INTEGER NOT NULL,
    storage_used_bytes INTEGER NOT NULL DEFAULT 0,
    created_at INTEGER NOT NULL
);
CREATE TABLE recovery_codes (
    id INTEGER PRIMARY KEY,
    account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    code_digest TEXT NOT NULL,
    used_at INTEGER,
    UNIQUE (account_id, code_digest)
);
CREATE TABLE access_tokens (
    token_digest TEXT PRIMARY KEY,
    account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    expires_at INTEGER NOT NULL
);
CREATE TABLE pending_logins (
    token_digest TEXT PRIMARY KEY,
    account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    expires_at INTEGER NOT NULL
);
CREATE TABLE trusted_devices (
    token_digest TEXT PRIMARY KEY,
    account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    label TEXT NOT NULL,
    expires_at INTEGER NOT NULL
);
CREATE INDEX access_tokens_by_account ON access_tokens(account_id);
CREATE INDEX trusted_devices_by_account ON trusted_devices(account_id);
)sql";

} // namespace

SchemaModule accountsSchema()
{
    return {"accounts", {version1}};
}

} // namespace OrvelanNimbal::Service
