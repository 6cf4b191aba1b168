// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "net/HttpBody.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <variant>

namespace OrvelanNimbal {

// A JSON body, already serialised.
struct JsonBody {
    QByteArray bytes;

    // A dictionary body as compact JSON. Integers keep all 64 bits.
    static JsonBody fromObject(const QJsonObject &object);
    // Any single JSON value, such as the bare string a rename sends.
    static JsonBody fromValue(const QJsonValue &value);
};

// A multipart/form-data body and the boundary its parts are delimited with.
struct MultipartBody {
    HttpBody bytes;
    QString boundary;
};

// The body of an API request: none, JSON or multipart.
using RequestBody = std::variant<std::monostate, JsonBody, MultipartBody>;

} // namespace OrvelanNimbal
