// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace OrvelanNimbal::Service {

// Random bytes from the system's cryptographic generator (OpenSSL); throws when it fails.
QByteArray randomBytes(int count);

// A fresh bearer secret: 32 random bytes in unpadded base64url (43 characters).
QString newToken();

// How a token is kept at rest: the hex SHA-256 of its text. Tokens carry 256 bits of chance,
// so a plain hash is enough to make a copy of the database useless for signing in.
QString tokenDigest(const QString &token);

// Compares two secrets in a time that depends only on their length.
bool constantTimeEquals(const QByteArray &a, const QByteArray &b);

} // namespace OrvelanNimbal::Service
