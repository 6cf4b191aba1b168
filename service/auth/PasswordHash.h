// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace OrvelanNimbal::Service {

// Passwords at rest: PBKDF2-HMAC-SHA256 with a random 16-byte salt, stored as
//   pbkdf2-sha256$<iterations>$<salt, base64>$<derived key, base64>
// so that the iteration count can grow without invalidating older hashes.
namespace PasswordHash {

// Slow on purpose; still quick enough for the test suites' dozens of sign-ins.
constexpr int defaultIterations = 100'000;

QString make(const QString &password, int iterations = defaultIterations);

// False for a wrong password and for a stored text that is not in the form above.
bool verify(const QString &password, const QString &stored);

// Burns the same time as verify() against a real hash, for sign-ins of unknown accounts, so
// that the answer time does not tell which addresses exist.
void verifyNothing(const QString &password);

} // namespace PasswordHash

} // namespace OrvelanNimbal::Service
