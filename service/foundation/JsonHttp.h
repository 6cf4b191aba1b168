// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <string>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace OrvelanNimbal::Service {

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
