// SPDX-License-Identifier: GPL-3.0-or-later
// Sign-in and second-factor verification, the two ApiClient operations that run outside the
// authenticated pipeline: one request each, no token, no retry, no silent re-login.
#include "auth/LoginDTOs.h"
#include "client/ApiClient.h"
#include "config/CoreLogging.h"
#include "errors/DriveError.h"
#include "errors/HttpErrorMapping.h"

namespace OrvelanNimbal {

namespace {

// How long a challenge lives when the service does not say.
constexpr qint64 defaultChallengeLifetimeSeconds = 300;

DriveError verificationError(const HttpResult &result)
{
    switch (result.response.statusCode) {
    case 429:
        return DriveError::tooManyAttempts();
    case 410:
        return DriveError::twoFactorExpired();
    case 401:
        return DriveError::twoFactorInvalidCode();
    default:
        return mapHTTPError(result.response.statusCode, result.body,
                            result.response.headerText("X-Drive-Conflict"));
    }
}

std::optional<TwoFactorRequiredDTO> challengeIn(const QByteArray &body)
{
    try {
        auto dto = Json::decode<TwoFactorRequiredDTO>(body);
        if (dto.twoFactorRequired.value_or(false) && dto.pendingToken)
            return dto;
    } catch (const DriveError &) {
        // Not a challenge: read as a plain sign-in answer below.
    }
    return std::nullopt;
}

} // namespace

HttpRequest ApiClient::signInRequest(const QString &path, const QJsonObject &body) const
{
    HttpRequest request;
    request.url = makeURL(path);
    request.method = QByteArrayLiteral("POST");
    request.timeout = m_configuration.requestTimeout;
    request.setHeader("Content-Type", "application/json");
    request.body = JsonBody::fromObject(body).bytes;
    return request;
}

QCoro::Task<LoginOutcome> ApiClient::login(QString email, QString password,
                                           CancellationToken cancel)
{
    const auto keepAlive = shared_from_this();
    QJsonObject body{{QStringLiteral("email"), email},
                     {QStringLiteral("password"), password},
                     {QStringLiteral("supports_2fa"), true}};
    if (const std::optional<QString> token = co_await m_trustedDevices->token(email))
        body.insert(QStringLiteral("trusted_device_token"), *token);

    const HttpResult result =
        co_await m_transport->send(signInRequest(QStringLiteral("/auth/login-jmap"), body), cancel);
    if (!result.response.isSuccess()) {
        qCInfo(lcClient, "connexion de %s refusée (HTTP %d)",
               qUtf8Printable(redactedAccount(email)), result.response.statusCode);
        throw mapLoginError(result.response.statusCode, result.body,
                            result.response.headerText("X-Drive-Conflict"));
    }

    if (auto challenge = challengeIn(result.body)) {
        const qint64 lifetime = challenge->expiresIn.value_or(defaultChallengeLifetimeSeconds);
        qCInfo(lcClient, "connexion de %s : deuxième facteur demandé (%s)",
               qUtf8Printable(redactedAccount(email)),
               qUtf8Printable(challenge->methods.value_or(QStringList()).join(u", ")));
        co_return LoginOutcome::twoFactorRequired({
            challenge->email.value_or(email),
            challenge->methods.value_or(QStringList()),
            m_clock->currentDateTime().addSecs(lifetime),
            *challenge->pendingToken,
            password,
        });
    }

    const auto answer = decodeResponse<LoginResponseDTO>(result.body);
    DriveSession session{answer.email.value_or(email), answer.accessToken, password};
    co_await m_sessionStore->save(session); // a store failure fails the sign-in, nothing held
    m_session = session;
    qCInfo(lcClient, "connexion de %s : session ouverte", qUtf8Printable(redactedAccount(email)));
    co_return LoginOutcome::signedIn(std::move(session));
}

QCoro::Task<DriveSession> ApiClient::verifyTwoFactor(TwoFactorChallenge challenge,
                                                     TwoFactorMethod method, QString code,
                                                     bool rememberDevice, QString deviceLabel,
                                                     CancellationToken cancel)
{
    const auto keepAlive = shared_from_this();
    const QJsonObject body{{QStringLiteral("pending_token"), challenge.pendingToken},
                           {QStringLiteral("method"), rawValue(method)},
                           {QStringLiteral("code"), code.trimmed()},
                           {QStringLiteral("remember_device"), rememberDevice},
                           {QStringLiteral("device_label"), deviceLabel}};

    const HttpResult result =
        co_await m_transport->send(signInRequest(QStringLiteral("/auth/2fa/verify"), body), cancel);
    if (!result.response.isSuccess()) {
        qCInfo(lcClient, "vérification du deuxième facteur refusée (HTTP %d)",
               result.response.statusCode);
        throw verificationError(result);
    }

    const auto answer = decodeResponse<TwoFactorVerifyDTO>(result.body);
    if (answer.trustedDeviceToken && !answer.trustedDeviceToken->isEmpty())
        co_await m_trustedDevices->save(*answer.trustedDeviceToken, challenge.account);

    DriveSession session{answer.email.value_or(challenge.account), answer.accessToken,
                         challenge.password};
    co_await m_sessionStore->save(session);
    m_session = session;
    qCInfo(lcClient, "vérification du deuxième facteur : session ouverte pour %s%s",
           qUtf8Printable(redactedAccount(session.account)),
           answer.trustedDeviceToken && !answer.trustedDeviceToken->isEmpty()
               ? ", appareil mémorisé"
               : "");
    co_return session;
}

} // namespace OrvelanNimbal
