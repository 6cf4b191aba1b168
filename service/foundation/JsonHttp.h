// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace OrvelanNimbal::Service {

// A request body read as JSON: a document, or why there is none.
struct ParsedJson {
    enum class Problem {
        none,
        notUtf8, // JSON is UTF-8; the text names things, and a name must come back byte for byte
        notJson,
    };
    QJsonDocument document;
    Problem problem = Problem::none;
};
// The document in `bytes`, every character of its text kept (a leading U+FEFF included).
ParsedJson parseJson(std::string_view bytes);

// The request body as a JSON object; nothing when it is not one.
std::optional<QJsonObject> jsonObjectBody(const httplib::Request &request);

void sendJson(httplib::Response &response, int status, const QJsonObject &body);
void sendJson(httplib::Response &response, int status, const QJsonArray &body);

// An unsuccessful answer: {"error": code} plus a human-readable "message" when given. The code
// is what clients may look at; the message is for people reading logs.
void sendError(httplib::Response &response, int status, const QString &code,
               const QString &message = {});

// A text member of a JSON object; nothing when absent or not text.
std::optional<QString> stringMember(const QJsonObject &object, QStringView key);

QString fromStd(const std::string &text);
std::string toStd(const QString &text);

} // namespace OrvelanNimbal::Service
