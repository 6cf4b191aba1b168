// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

namespace OrvelanNimbal::Service {

class Connection;

// One-time codes that stand in for a lost second factor. Only their digests are kept; each
// works once.
namespace RecoveryCodes {

// How a code is compared: without white space or dashes, lower-cased, so that "AB12-CD34"
// typed as "ab12 cd34" still counts.
QString normalize(const QString &code);

void add(Connection &connection, std::int64_t accountId, const QString &code);
bool hasUnused(Connection &connection, std::int64_t accountId);
// Marks the code used; false when it is unknown or already used.
bool consume(Connection &connection, std::int64_t accountId, const QString &code, std::int64_t now);

} // namespace RecoveryCodes

} // namespace OrvelanNimbal::Service
