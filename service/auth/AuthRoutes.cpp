// SPDX-License-Identifier: GPL-3.0-or-later
// Sign-in: a password, then, for accounts with a second factor, a code. A remembered device
// skips the code; a client that cannot ask for one is told so instead of being left stuck.
#include "auth/AuthRoutes.h"

#include "auth/Accounts.h"
#include "auth/PasswordHash.h"
#include "auth/RecoveryCodes.h"
#include "auth/SignInThrottle.h"
#include "auth/Tokens.h"
#include "auth/Totp.h"
#include "foundation/ApiPaths.h"
#include "foundation/Database.h"
#include "foundation/JsonHttp.h"
#include "http/BodyRules.h"
#include "ServiceContext.h"

#include <QJsonArray>

#include <httplib.h>

namespace OrvelanNimbal::Service {

namespace {

bool isTrue(const QJsonObject &body, QStringView key)
{
    return body.value(key) == QJsonValue(true);
}

void login(ServiceContext &context, const httplib::Request &request, httplib::Response &response)
{
    const auto body = jsonObjectBody(request);
    const auto email = body ? stringMember(*body, u"email") : std::nullopt;
    const auto password = body ? stringMember(*body, u"password") : std::nullopt;
    if (!email || !password)
        return sendError(response, 400, QStringLiteral("invalid_request"),
                         QStringLiteral("« email » et « password » sont requis"));
    const bool supportsTwoFactor = isTrue(*body, u"supports_2fa");
    const auto deviceToken = stringMember(*body, u"trusted_device_token");

    // Failures are counted per e-mail address, known or not, so that trying passwords on an
    // address runs into the limit whether or not it has an account.
    auto &throttle = context.signInThrottle;
    constexpr auto step = SignInThrottle::Step::password;
    const std::string tried = toStd(Accounts::emailKey(*email));
    const std::int64_t now = context.now();
    if (throttle.isClosed(step, request.remote_addr, tried, now))
        return sendError(response, 429, QStringLiteral("too_many_attempts"));

    const auto account = context.database().read(
        [&](Connection &connection) { return Accounts::findByEmail(connection, *email); });
    // The slow hash runs outside the database lock, so that sign-ins do not queue behind it.
    bool accepted = false;
    if (account)
        accepted = PasswordHash::verify(*password, account->passwordHash);
    else
        PasswordHash::verifyNothing(*password);
    if (!accepted) {
        throttle.recordFailure(step, request.remote_addr, tried, now);
        return sendError(response, 401, QStringLiteral("invalid_credentials"));
    }
    throttle.recordSuccess(step, request.remote_addr, tried);

    context.database().transaction([&](Connection &connection) {
        const bool trusted =
            deviceToken && TrustedDevices::isTrusted(connection, account->id, *deviceToken, now);
        if (account->requiresSecondFactor() && !trusted) {
            if (!supportsTwoFactor)
                return sendError(response, 403, QStringLiteral("two_factor_client_unsupported"),
                                 QStringLiteral("ce compte demande un second facteur que ce "
                                                "client ne sait pas demander"));
            const std::int64_t lifetime = context.lifetimes().pendingLogin();
            const QString pending = PendingLogins::issue(connection, account->id, now, lifetime);
            return sendJson(response, 200,
                            QJsonObject{
                                {QStringLiteral("two_factor_required"), true},
                                {QStringLiteral("pending_token"), pending},
                                {QStringLiteral("methods"),
                                 QJsonArray::fromStringList(
                                     Accounts::secondFactorMethods(connection, *account))},
                                {QStringLiteral("expires_in"), qint64(lifetime)},
                                {QStringLiteral("email"), account->email},
                            });
        }
        const std::int64_t lifetime = context.lifetimes().accessToken();
        sendJson(response, 200,
                 QJsonObject{
                     {QStringLiteral("access_token"),
                      AccessTokens::issue(connection, account->id, now, lifetime)},
                     {QStringLiteral("email"), account->email},
                     {QStringLiteral("expires_in"), qint64(lifetime)},
                 });
    });
}

// Checks the code against the account; a TOTP code is spent by its step.
bool acceptsCode(Connection &connection, const Account &account, const QString &method,
                 const QString &code, std::int64_t now)
{
    if (method == u"totp") {
        const auto secret =
            account.totpSecret ? Totp::decodeBase32(*account.totpSecret) : std::nullopt;
        if (!secret)
            return false;
        const auto step = Totp::matchingStep(*secret, code, now, account.totpLastStep);
        if (step)
            Accounts::setTotpLastStep(connection, account.id, *step);
        return step.has_value();
    }
    return RecoveryCodes::consume(connection, account.id, code, now);
}

void verify(ServiceContext &context, const httplib::Request &request, httplib::Response &response)
{
    const auto body = jsonObjectBody(request);
    const auto pendingToken = body ? stringMember(*body, u"pending_token") : std::nullopt;
    const auto method = body ? stringMember(*body, u"method") : std::nullopt;
    const auto code = body ? stringMember(*body, u"code") : std::nullopt;
    if (!pendingToken || !method || !code)
        return sendError(response, 400, QStringLiteral("invalid_request"),
                         QStringLiteral("« pending_token », « method » et « code » sont requis"));
    if (*method != u"totp" && *method != u"recovery")
        return sendError(response, 400, QStringLiteral("unsupported_method"));
    const bool rememberDevice = isTrue(*body, u"remember_device");
    const QString deviceLabel = stringMember(*body, u"device_label").value_or(QString());

    auto &throttle = context.signInThrottle;
    constexpr auto step = SignInThrottle::Step::code;
    const std::int64_t now = context.now();
    context.database().transaction([&](Connection &connection) {
        const auto pending = PendingLogins::find(connection, *pendingToken, now);
        // A token already spent reads as unknown: either way the sign-in must start again.
        if (pending.state != PendingLogins::Lookup::State::valid) {
            PendingLogins::remove(connection, *pendingToken);
            return sendError(response, 410, QStringLiteral("verification_expired"));
        }
        const auto account = Accounts::findById(connection, pending.accountId);
        if (!account)
            return sendError(response, 410, QStringLiteral("verification_expired"));

        const std::string tried = std::to_string(account->id);
        if (throttle.isClosed(step, request.remote_addr, tried, now))
            return sendError(response, 429, QStringLiteral("too_many_attempts"));
        if (!acceptsCode(connection, *account, *method, *code, now)) {
            throttle.recordFailure(step, request.remote_addr, tried, now);
            return sendError(response, 401, QStringLiteral("invalid_code"));
        }
        throttle.recordSuccess(step, request.remote_addr, tried);
        PendingLogins::remove(connection, *pendingToken);

        QJsonObject answer{
            {QStringLiteral("access_token"),
             AccessTokens::issue(connection, account->id, now, context.lifetimes().accessToken())},
            {QStringLiteral("email"), account->email},
            {QStringLiteral("expires_in"), qint64(context.lifetimes().accessToken())},
        };
        if (rememberDevice)
            answer.insert(QStringLiteral("trusted_device_token"),
                          TrustedDevices::issue(connection, account->id, deviceLabel, now,
                                                context.lifetimes().trustedDevice()));
        sendJson(response, 200, answer);
    });
}

} // namespace

void installAuthRoutes(httplib::Server &server, ServiceContext &context)
{
    // A sign-in carries an address, a password, a code and a few flags: a few hundred bytes.
    constexpr BodyRule signInBody{BodyRule::Kind::json, 64 * 1024, nullptr};
    BodyRoutes routes(server, context);
    routes.post(apiPrefix + "/auth/login-jmap", signInBody,
                [&context](const httplib::Request &request, httplib::Response &response) {
                    login(context, request, response);
                });
    routes.post(apiPrefix + "/auth/2fa/verify", signInBody,
                [&context](const httplib::Request &request, httplib::Response &response) {
                    verify(context, request, response);
                });
}

} // namespace OrvelanNimbal::Service
