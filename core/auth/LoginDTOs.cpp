// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/LoginDTOs.h"

#include "json/JsonRecord_p.h"

namespace OrvelanNimbal {

using namespace Json;

LoginResponseDTO Json::Decoder<LoginResponseDTO>::decode(Value &value)
{
    return decodeRecord<LoginResponseDTO>(
        value, {
                   required<&LoginResponseDTO::accessToken>("access_token"),
                   optional<&LoginResponseDTO::email>("email"),
               });
}

TwoFactorRequiredDTO Json::Decoder<TwoFactorRequiredDTO>::decode(Value &value)
{
    return decodeRecord<TwoFactorRequiredDTO>(
        value, {
                   optional<&TwoFactorRequiredDTO::twoFactorRequired>("two_factor_required"),
                   optional<&TwoFactorRequiredDTO::pendingToken>("pending_token"),
                   optional<&TwoFactorRequiredDTO::methods>("methods"),
                   optional<&TwoFactorRequiredDTO::expiresIn>("expires_in"),
                   optional<&TwoFactorRequiredDTO::email>("email"),
               });
}

TwoFactorVerifyDTO Json::Decoder<TwoFactorVerifyDTO>::decode(Value &value)
{
    return decodeRecord<TwoFactorVerifyDTO>(
        value, {
                   required<&TwoFactorVerifyDTO::accessToken>("access_token"),
                   optional<&TwoFactorVerifyDTO::email>("email"),
                   optional<&TwoFactorVerifyDTO::trustedDeviceToken>("trusted_device_token"),
               });
}

} // namespace OrvelanNimbal
