// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/JsonHttp.h"

#include "foundation/Utf8.h"

#include <QJsonDocument>

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

const char *const jsonType = "application/json";

} // namespace

ParsedJson parseJson(std::string_view bytes)
{
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (!decodeUtf8Strictly(bytes))
        return {{}, ParsedJson::Problem::notUtf8};
    // A document may begin with a byte-order mark, which is no part of it.
    if (bytes.starts_with(byteOrderMark))
        bytes.remove_prefix(byteOrderMark.size());
    // Qt's parser drops U+FEFF when it begins a string, so a name "\uFEFFx" sent as plain
    // UTF-8 would arrive as "x". Written as an escape it is kept; in valid UTF-8 these three
    // bytes are always that character, and outside a string it is no JSON anyway.
    QByteArray text(bytes.data(), qsizetype(bytes.size()));
    text.replace(QByteArrayView(byteOrderMark.data(), 3), QByteArrayView("\\ufeff"));
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
        return {{}, ParsedJson::Problem::notJson};
    return {std::move(document), ParsedJson::Problem::none};
}

std::optional<QJsonObject> jsonObjectBody(const httplib::Request &request)
{
    const ParsedJson parsed = parseJson(request.body);
    if (parsed.problem != ParsedJson::Problem::none || !parsed.document.isObject())
        return std::nullopt;
    return parsed.document.object();
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
    return decodeUtf8(text);
}

std::string toStd(const QString &text)
{
    return text.toUtf8().toStdString();
}

} // namespace OrvelanNimbal::Service
