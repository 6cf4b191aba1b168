// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/LoginDTOs.h"
#include "client/JsonValue_p.h"

namespace OrvelanNimbal {

LoginResponseDTO Json::Decoder<LoginResponseDTO>::decode(Value &value)
{
    LoginResponseDTO dto;
    bool hasToken = false;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "access_token") {
            dto.accessToken = field.toString();
            hasToken = true;
        } else if (key == "email") {
            dto.email = field.toOptionalString();
        }
    });
    if (!hasToken)
        value.missingKey("access_token");
    return dto;
}

TwoFactorRequiredDTO Json::Decoder<TwoFactorRequiredDTO>::decode(Value &value)
{
    TwoFactorRequiredDTO dto;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "two_factor_required") {
            dto.twoFactorRequired = field.toOptionalBool();
        } else if (key == "pending_token") {
            dto.pendingToken = field.toOptionalString();
        } else if (key == "methods") {
            if (!field.isNull()) {
                QStringList methods;
                field.forEachElement([&](Value &method) { methods.append(method.toString()); });
                dto.methods = methods;
            }
        } else if (key == "expires_in") {
            dto.expiresIn = field.toOptionalInt64();
        } else if (key == "email") {
            dto.email = field.toOptionalString();
        }
    });
    return dto;
}

TwoFactorVerifyDTO Json::Decoder<TwoFactorVerifyDTO>::decode(Value &value)
{
    TwoFactorVerifyDTO dto;
    bool hasToken = false;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "access_token") {
            dto.accessToken = field.toString();
            hasToken = true;
        } else if (key == "email") {
            dto.email = field.toOptionalString();
        } else if (key == "trusted_device_token") {
            dto.trustedDeviceToken = field.toOptionalString();
        }
    });
    if (!hasToken)
        value.missingKey("access_token");
    return dto;
}

} // namespace OrvelanNimbal
