// SPDX-License-Identifier: GPL-3.0-or-later
#include "auth/DriveSession.h"

#include "json/JsonRecord_p.h"
#include "net/RequestBody.h"

namespace OrvelanNimbal {

using namespace Json;

QByteArray DriveSession::toJson() const
{
    return JsonBody::fromObject({{QStringLiteral("account"), account},
                                 {QStringLiteral("accessToken"), accessToken},
                                 {QStringLiteral("password"), password}})
        .bytes;
}

DriveSession Json::Decoder<DriveSession>::decode(Value &value)
{
    return decodeRecord<DriveSession>(value,
                                      {
                                          required<&DriveSession::account>("account"),
                                          required<&DriveSession::accessToken>("accessToken"),
                                          required<&DriveSession::password>("password"),
                                      });
}

} // namespace OrvelanNimbal
