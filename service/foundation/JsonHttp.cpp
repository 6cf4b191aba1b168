// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/JsonHttp.h"

#include <QJsonDocument>

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

const char *const jsonType = "application/json";

} // namespace

std::optional<QJsonObject> jsonObjectBody(const httplib::Request &request)
{
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(request.body), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

void sendJson(httplib::Response &response, int status, const QJsonObject &body)
{
    response.status = status;
    response.set_content(QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(),
                         jsonType);
}

void sendJson(httplib::Response &response, int status, const QJsonArray &body)
{
    response.status = status;
    response.set_content(QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(),
                         jsonType);
}

void sendError(httplib::Response &response, int status, const QString &code, const QString &message)
{
    QJsonObject body{{QStringLiteral("error"), code}};
    if (!message.isEmpty())
        body.insert(QStringLiteral("message"), message);
    sendJson(response, status, body);
}

std::optional<QString> stringMember(const QJsonObject &object, QStringView key)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

QString fromStd(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string toStd(const QString &text)
{
    return text.toUtf8().toStdString();
}

} // namespace OrvelanNimbal::Service
