// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/RequestBody.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace OrvelanNimbal {

JsonBody JsonBody::fromObject(const QJsonObject &object)
{
    return {QJsonDocument(object).toJson(QJsonDocument::Compact)};
}

JsonBody JsonBody::fromValue(const QJsonValue &value)
{
    if (value.isObject())
        return fromObject(value.toObject());
    // The serialiser only writes documents; a one-element array minus its brackets is the value.
    QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return {array.mid(1, array.size() - 2)};
}

} // namespace OrvelanNimbal
