// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/DriveRequests.h"

#include "auth/Authentication.h"
#include "drive/DriveFailure.h"
#include "foundation/JsonHttp.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <charconv>

namespace OrvelanNimbal::Service {

namespace {

std::optional<std::int64_t> parseWhole(const std::string &text)
{
    std::int64_t value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

// JSON numbers that are whole and fit in 64 bits; 2.5 or 1e30 are not ids.
std::optional<std::int64_t> wholeNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const qint64 whole = value.toInteger();
    if (QJsonValue(whole) != value)
        return std::nullopt;
    return whole;
}

// The text a drive request carries is names (and ids and hashes): text that is not UTF-8 is
// refused as a name, wherever it came in, form or JSON.
QJsonDocument parsedBody(const std::string &body)
{
    ParsedJson parsed = parseJson(body);
    if (parsed.problem == ParsedJson::Problem::notUtf8)
        throw DriveFailure::invalidName(QStringLiteral("un nom doit être du texte UTF-8 valide"));
    return std::move(parsed.document);
}

DriveFailure badMember(QStringView key, const char *expected)
{
    return DriveFailure::invalid(
        QStringLiteral("« %1 » doit être %2").arg(key, QString::fromUtf8(expected)));
}

} // namespace

httplib::Server::Handler driveRoute(ServiceContext &context, DriveHandler handler)
{
    return [&context, handler](const httplib::Request &request, httplib::Response &response) {
        const auto account = authenticate(context, request, response);
        if (!account)
            return;
        try {
            handler(context, *account, request, response);
        } catch (const DriveFailure &failure) {
            failure.answer(response);
        }
    };
}

namespace DriveRequests {

std::int64_t pathId(const httplib::Request &request, size_t match)
{
    const auto id = parseWhole(request.matches[match]);
    if (!id)
        throw DriveFailure::notFound(QStringLiteral("aucun élément ne porte cet identifiant"));
    return *id;
}

std::optional<std::int64_t> queryNumber(const httplib::Request &request, const char *name)
{
    if (!request.has_param(name))
        return std::nullopt;
    const auto value = parseWhole(request.get_param_value(name));
    if (!value)
        throw DriveFailure::invalid(QStringLiteral("le paramètre « %1 » doit être un nombre entier")
                                        .arg(QString::fromLatin1(name)));
    return value;
}

std::int64_t queryFolder(const httplib::Request &request, const char *name)
{
    const auto id = queryNumber(request, name);
    return id && *id > 0 ? *id : 0;
}

QJsonObject objectBody(const httplib::Request &request)
{
    const QJsonDocument document = parsedBody(request.body);
    if (!document.isObject())
        throw DriveFailure::invalid(QStringLiteral("le corps doit être un objet JSON"));
    return document.object();
}

QString stringBody(const httplib::Request &request)
{
    // The parser reads only objects and arrays: the value is read as the one element of an
    // array, and anything that makes it more or other than one string is refused.
    const QJsonArray array = parsedBody("[" + request.body + "]").array();
    if (array.size() != 1 || !array[0].isString())
        throw DriveFailure::invalid(QStringLiteral("le corps doit être une chaîne JSON"));
    return array[0].toString();
}

std::optional<QString> optionalString(const QJsonObject &object, QStringView key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString())
        throw badMember(key, "un texte");
    return value.toString();
}

QString requiredString(const QJsonObject &object, QStringView key)
{
    const auto text = optionalString(object, key);
    if (!text)
        throw badMember(key, "un texte");
    return *text;
}

std::optional<std::int64_t> optionalId(const QJsonObject &object, QStringView key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    const auto id = wholeNumber(value);
    if (!id)
        throw badMember(key, "un nombre entier");
    return id;
}

std::int64_t requiredId(const QJsonObject &object, QStringView key)
{
    const auto id = optionalId(object, key);
    if (!id)
        throw badMember(key, "un nombre entier");
    return *id;
}

std::vector<std::int64_t> idList(const QJsonObject &object, QStringView key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return {};
    if (!value.isArray())
        throw badMember(key, "une liste d'identifiants");
    std::vector<std::int64_t> ids;
    const QJsonArray elements = value.toArray();
    for (const QJsonValue &element : elements) {
        const auto id = wholeNumber(element);
        if (!id)
            throw badMember(key, "une liste d'identifiants");
        ids.push_back(*id);
    }
    return ids;
}

} // namespace DriveRequests

} // namespace OrvelanNimbal::Service
