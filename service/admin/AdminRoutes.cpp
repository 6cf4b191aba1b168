// SPDX-License-Identifier: GPL-3.0-or-later
// Test controls, installed only with --test-controls: accounts made on the fly, faults queued
// on a route, request counts, shortened lifetimes and tokens voided at once. They let a test
// reach a failure or an expiry in milliseconds, through the same server the client talks to.
//
//   POST   /_test/accounts   {"email", "password", "totp_secret"?, "recovery_codes"?: [..],
//                             "passkey_only"?, "quota_mb"?}                     → 201 {"id"}
//   POST   /_test/faults     {"method", "path", "count"?, "status"?, "delay_ms"?,
//                             "headers"?: {name: value}, "drop_connection"?, "body"?} → 204
//   DELETE /_test/faults                                                        → 204
//   GET    /_test/requests?method=GET&path=/api/v1/drive/quota                  → {"count"}
//   POST   /_test/lifetimes  {"access_token_seconds"?, "pending_login_seconds"?,
//                             "trusted_device_seconds"?, "presigned_url_seconds"?,
//                             "idle_upload_seconds"?}                             → 204
//   POST   /_test/expire     {"access_tokens"?: true, "pending_logins"?, "trusted_devices"?}
//                                                                              → {"expired"}
//   POST   /_test/reset      faults, counts, lifetimes and rate limits back to start → 204
#include "admin/AdminRoutes.h"

#include "admin/FaultInjector.h"
#include "admin/RequestLog.h"
#include "auth/Accounts.h"
#include "auth/SignInThrottle.h"
#include "auth/Tokens.h"
#include "foundation/ApiPaths.h"
#include "foundation/Database.h"
#include "foundation/JsonHttp.h"
#include "http/BodyRules.h"
#include "ServiceContext.h"
#include "uploads/UploadExpiry.h"

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

using Handler = void (*)(ServiceContext &, const httplib::Request &, httplib::Response &);

void noContent(httplib::Response &response)
{
    response.status = 204;
}

void badRequest(httplib::Response &response, const QString &message)
{
    sendError(response, 400, QStringLiteral("invalid_request"), message);
}

void addAccount(ServiceContext &context, const httplib::Request &request,
                httplib::Response &response)
{
    const auto body = jsonObjectBody(request);
    if (!body)
        return badRequest(response, QStringLiteral("un objet JSON est attendu"));
    NewAccount account;
    account.email = stringMember(*body, u"email").value_or(QString());
    account.password = stringMember(*body, u"password").value_or(QString());
    account.totpSecret = stringMember(*body, u"totp_secret");
    const QJsonArray recoveryCodes = body->value(u"recovery_codes").toArray();
    for (const QJsonValue &code : recoveryCodes)
        account.recoveryCodes.append(code.toString());
    account.passkeyOnly = body->value(u"passkey_only").toBool(false);
    account.quotaMegabytes = body->value(u"quota_mb").toInteger(account.quotaMegabytes);
    try {
        const std::int64_t id = context.database().transaction([&](Connection &connection) {
            return Accounts::create(connection, account, context.now());
        });
        sendJson(response, 201, QJsonObject{{QStringLiteral("id"), qint64(id)}});
    } catch (const AccountError &error) {
        sendError(response, error.reason == AccountError::Reason::exists ? 409 : 400,
                  QStringLiteral("invalid_account"), QString::fromUtf8(error.what()));
    }
}

void addFault(ServiceContext &context, const httplib::Request &request, httplib::Response &response)
{
    const auto body = jsonObjectBody(request);
    const auto method = body ? stringMember(*body, u"method") : std::nullopt;
    const auto path = body ? stringMember(*body, u"path") : std::nullopt;
    if (!method || !path)
        return badRequest(response, QStringLiteral("« method » et « path » sont requis"));
    InjectedFault fault;
    fault.status = body->value(u"status").toInt(0);
    fault.delayMilliseconds = body->value(u"delay_ms").toInt(0);
    fault.dropConnection = body->value(u"drop_connection").toBool(false);
    fault.body = toStd(stringMember(*body, u"body").value_or(QString()));
    const QJsonObject headers = body->value(u"headers").toObject();
    for (auto header = headers.begin(); header != headers.end(); ++header)
        fault.headers.emplace_back(toStd(header.key()), toStd(header.value().toString()));
    const int count = body->value(u"count").toInt(1);
    if (count < 1 || fault.delayMilliseconds < 0 || (fault.status && fault.status < 100))
        return badRequest(response,
                          QStringLiteral("« count », « status » ou « delay_ms » hors limites"));
    context.faults.add(toStd(*method), toStd(*path), fault, count);
    noContent(response);
}

void clearFaults(ServiceContext &context, const httplib::Request &, httplib::Response &response)
{
    context.faults.clear();
    noContent(response);
}

void requestCount(ServiceContext &context, const httplib::Request &request,
                  httplib::Response &response)
{
    const int count = context.requestLog.count(request.get_param_value("method"),
                                                            request.get_param_value("path"));
    sendJson(response, 200, QJsonObject{{QStringLiteral("count"), count}});
}

void setLifetimes(ServiceContext &context, const httplib::Request &request,
                  httplib::Response &response)
{
    const auto body = jsonObjectBody(request);
    if (!body)
        return badRequest(response, QStringLiteral("un objet JSON est attendu"));
    Lifetimes &lifetimes = context.lifetimes();
    if (body->contains(u"access_token_seconds"))
        lifetimes.setAccessToken(body->value(u"access_token_seconds").toInteger());
    if (body->contains(u"pending_login_seconds"))
        lifetimes.setPendingLogin(body->value(u"pending_login_seconds").toInteger());
    if (body->contains(u"trusted_device_seconds"))
        lifetimes.setTrustedDevice(body->value(u"trusted_device_seconds").toInteger());
    if (body->contains(u"presigned_url_seconds"))
        lifetimes.setPresignedUrl(body->value(u"presigned_url_seconds").toInteger());
    if (body->contains(u"idle_upload_seconds")) {
        lifetimes.setIdleUpload(body->value(u"idle_upload_seconds").toInteger());
        context.uploadExpiry.wake();
    }
    noContent(response);
}

void expire(ServiceContext &context, const httplib::Request &request, httplib::Response &response)
{
    const QJsonObject body = jsonObjectBody(request).value_or(QJsonObject());
    Expiry expiry;
    expiry.accessTokens = body.value(u"access_tokens").toBool(true);
    expiry.pendingLogins = body.value(u"pending_logins").toBool(false);
    expiry.trustedDevices = body.value(u"trusted_devices").toBool(false);
    const int expired = context.database().transaction(
        [&](Connection &connection) { return expireTokens(connection, expiry, context.now()); });
    sendJson(response, 200, QJsonObject{{QStringLiteral("expired"), expired}});
}

void reset(ServiceContext &context, const httplib::Request &, httplib::Response &response)
{
    context.faults.clear();
    context.requestLog.clear();
    context.signInThrottle.clear();
    context.lifetimes().reset();
    noContent(response);
}

httplib::Server::Handler bound(ServiceContext &context, Handler handler)
{
    return [&context, handler](const httplib::Request &request, httplib::Response &response) {
        handler(context, request, response);
    };
}

} // namespace

void installAdminRoutes(httplib::Server &server, ServiceContext &context)
{
    const std::string &root = testControlPrefix;
    // Every control of every family: JSON, up to the content of a test's file.
    context.bodyRules.add("POST", root + "/.*",
                                       {BodyRule::Kind::json, std::int64_t(64) << 20, nullptr});
    server.Post(root + "/accounts", bound(context, &addAccount));
    server.Post(root + "/faults", bound(context, &addFault));
    server.Delete(root + "/faults", bound(context, &clearFaults));
    server.Get(root + "/requests", bound(context, &requestCount));
    server.Post(root + "/lifetimes", bound(context, &setLifetimes));
    server.Post(root + "/expire", bound(context, &expire));
    server.Post(root + "/reset", bound(context, &reset));
}

} // namespace OrvelanNimbal::Service
