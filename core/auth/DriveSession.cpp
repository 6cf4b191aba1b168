// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/DriveSession.h"
#include "client/JsonValue_p.h"
#include "client/RequestBody.h"

namespace OrvelanNimbal {

QByteArray DriveSession::toJson() const
{
    return JsonBody::fromObject({{QStringLiteral("account"), account},
                                 {QStringLiteral("accessToken"), accessToken},
                                 {QStringLiteral("password"), password}})
        .bytes;
}

DriveSession Json::Decoder<DriveSession>::decode(Value &value)
{
    std::optional<QString> account, accessToken, password;
    value.forEachField([&](std::string_view key, Value &field) {
        if (key == "account")
            account = field.toString();
        else if (key == "accessToken")
            accessToken = field.toString();
        else if (key == "password")
            password = field.toString();
    });
    if (!account)
        value.missingKey("account");
    if (!accessToken)
        value.missingKey("accessToken");
    if (!password)
        value.missingKey("password");
    return {*account, *accessToken, *password};
}

} // namespace OrvelanNimbal
