// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "errors/DriveError.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace OrvelanNimbal {

// The first `limit` bytes of a body as UTF-8 text; empty when they are not valid UTF-8 (which
// includes a character cut at the limit). Not trimmed.
QString bodyPrefixText(const QByteArray &body, qsizetype limit);

// An unsuccessful API answer as a DriveError. `conflictHeader` is the "X-Drive-Conflict" value.
DriveError mapHTTPError(int status, const QByteArray &body,
                        const std::optional<QString> &conflictHeader);

// An unsuccessful sign-in answer: 429 and the unsupported-second-factor 403 first, then the
// general mapping.
DriveError mapLoginError(int status, const QByteArray &body,
                         const std::optional<QString> &conflictHeader);

} // namespace OrvelanNimbal
