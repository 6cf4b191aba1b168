// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "json/JsonDecoding.h"

#include <QByteArray>
#include <QString>

namespace OrvelanNimbal {

// The signed-in user: the account, the token the service issued and the password, kept so that
// the client can sign in again by itself when the token expires.
struct DriveSession {
    QString account;
    QString accessToken;
    QString password;

    // The stored form: {"account", "accessToken", "password"}, all three required to read back.
    QByteArray toJson() const;

    friend bool operator==(const DriveSession &, const DriveSession &) = default;
};

template <>
struct Json::Decoder<DriveSession> {
    static DriveSession decode(Value &value);
};

} // namespace OrvelanNimbal
