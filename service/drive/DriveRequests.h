// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "auth/Authentication.h"
#include "http/BodyRules.h"

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <httplib.h>
#include <optional>
#include <vector>

namespace OrvelanNimbal::Service {

struct Account;
class ServiceContext;

// A drive route: runs for the account whose token the request carries (401 without one), and a
// DriveFailure it throws becomes the answer.
// What a drive request may carry: JSON from a signed-in client, up to 4 MiB (the longest are
// lists of ids, and the parts of an upload, 10000 at most).
inline constexpr BodyRule driveBody{BodyRule::Kind::json, std::int64_t(4) << 20, &admitSignedIn};

using DriveHandler = void (*)(ServiceContext &context, const Account &account,
                              const httplib::Request &request, httplib::Response &response);
httplib::Server::Handler driveRoute(ServiceContext &context, DriveHandler handler);

// What a drive request carries. Whatever is malformed throws DriveFailure::invalid with a
// message that names the field.
namespace DriveRequests {

// The id captured by the route's pattern; one no item can have (out of range) is not found.
std::int64_t pathId(const httplib::Request &request, size_t match = 1);
// A whole number in the query, nothing when the parameter is absent.
std::optional<std::int64_t> queryNumber(const httplib::Request &request, const char *name);
// The query's parent folder: absent, 0 or below mean the top of the drive.
std::int64_t queryFolder(const httplib::Request &request, const char *name);

QJsonObject objectBody(const httplib::Request &request);
// The body as a bare JSON string, such as "\"Rapport.pdf\"".
QString stringBody(const httplib::Request &request);

std::optional<QString> optionalString(const QJsonObject &object, QStringView key);
QString requiredString(const QJsonObject &object, QStringView key);
std::optional<std::int64_t> optionalId(const QJsonObject &object, QStringView key);
std::int64_t requiredId(const QJsonObject &object, QStringView key);
// An array of ids; an absent member is an empty list.
std::vector<std::int64_t> idList(const QJsonObject &object, QStringView key);

} // namespace DriveRequests

} // namespace OrvelanNimbal::Service
