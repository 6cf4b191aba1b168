// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "json/JsonDecoding.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace OrvelanNimbal {

// A sign-in answered with a token at once.
struct LoginResponseDTO {
    QString accessToken;          // "access_token", required
    std::optional<QString> email; // "email"
};

// A sign-in that asks for a second factor. Every key is optional.
struct TwoFactorRequiredDTO {
    std::optional<bool> twoFactorRequired; // "two_factor_required"
    std::optional<QString> pendingToken;   // "pending_token"
    std::optional<QStringList> methods;    // "methods"
    std::optional<qint64> expiresIn;       // "expires_in", seconds
    std::optional<QString> email;          // "email"
};

// A second factor accepted.
struct TwoFactorVerifyDTO {
    QString accessToken;                       // "access_token", required
    std::optional<QString> email;              // "email"
    std::optional<QString> trustedDeviceToken; // "trusted_device_token"
};

template <>
struct Json::Decoder<LoginResponseDTO> {
    static LoginResponseDTO decode(Value &value);
};
template <>
struct Json::Decoder<TwoFactorRequiredDTO> {
    static TwoFactorRequiredDTO decode(Value &value);
};
template <>
struct Json::Decoder<TwoFactorVerifyDTO> {
    static TwoFactorVerifyDTO decode(Value &value);
};

} // namespace OrvelanNimbal
