// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace OrvelanNimbal::Service {

// Time-based one-time codes as authenticator apps make them: HMAC-SHA-1 over the number of
// 30-second steps since 1970, six decimal digits.
namespace Totp {

constexpr std::int64_t stepSeconds = 30;
constexpr int digits = 6;
// Codes of the step before and after the current one pass too: phone clocks drift, and a code
// typed at the end of its step arrives in the next one.
constexpr int allowedDriftSteps = 1;

// RFC 4648 base32, as authenticator apps show secrets: letters of either case, optional "="
// padding, spaces and dashes ignored. Nothing when another character appears or no byte
// results.
std::optional<QByteArray> decodeBase32(QStringView text);

std::int64_t stepAt(std::int64_t unixSeconds);

// The code of one step, zero-padded to six digits.
QString codeAt(const QByteArray &secret, std::int64_t step);

// The step a code matches, when it matches one within the allowed drift of `unixSeconds` that
// is later than `lastUsedStep` (a code is good only once). Surrounding white space is ignored.
std::optional<std::int64_t> matchingStep(const QByteArray &secret, QStringView code,
                                         std::int64_t unixSeconds, std::int64_t lastUsedStep);

} // namespace Totp

} // namespace OrvelanNimbal::Service
