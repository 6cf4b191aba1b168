// SPDX-License-Identifier: GPL-3.0-or-later
#include "client/ApiClient.h"

#include "auth/KeychainError.h"
#include "errors/DriveError.h"
#include "errors/HttpErrorMapping.h"

namespace OrvelanNimbal {

namespace {

// A storage answer is quoted in its error with a shorter excerpt than an API answer.
constexpr qsizetype externalBodyPrefixBytes = 300;

DriveError errorOf(const HttpResult &result)
{
    return mapHTTPError(result.response.statusCode, result.body,
                        result.response.headerText("X-Drive-Conflict"));
}

} // namespace

std::shared_ptr<ApiClient> ApiClient::create(DriveConfiguration configuration,
                                             std::shared_ptr<HTTPTransport> transport,
                                             std::shared_ptr<SessionStoring> sessionStore,
                                             std::shared_ptr<TrustedDeviceStoring> trustedDevices,
                                             std::shared_ptr<Clock> clock)
{
    return std::shared_ptr<ApiClient>(new ApiClient(std::move(configuration), std::move(transport),
                                                    std::move(sessionStore),
                                                    std::move(trustedDevices), std::move(clock)));
}

ApiClient::ApiClient(DriveConfiguration configuration, std::shared_ptr<HTTPTransport> transport,
                     std::shared_ptr<SessionStoring> sessionStore,
                     std::shared_ptr<TrustedDeviceStoring> trustedDevices,
                     std::shared_ptr<Clock> clock)
    : m_configuration(std::move(configuration))
    , m_transport(std::move(transport))
    , m_sessionStore(std::move(sessionStore))
    , m_trustedDevices(std::move(trustedDevices))
    , m_clock(std::move(clock))
{}

std::optional<QString> ApiClient::account() const
{
    if (!m_session)
        return std::nullopt;
    return m_session->account;
}

std::optional<QString> ApiClient::currentAccessToken() const
{
    if (!m_session)
        return std::nullopt;
    return m_session->accessToken;
}

QCoro::Task<bool> ApiClient::restoreSession()
{
    const auto keepAlive = shared_from_this();
    std::optional<DriveSession> stored = co_await m_sessionStore->load();
    m_session = std::move(stored);
    co_return m_session.has_value();
}

QCoro::Task<> ApiClient::logout()
{
    const auto keepAlive = shared_from_this();
    co_await m_sessionStore->clear();
    m_session.reset();
}

QCoro::Task<bool> ApiClient::refreshSession(CancellationToken cancel)
{
    const auto keepAlive = shared_from_this();
    co_return co_await reauthenticate(std::move(cancel));
}

QCoro::Task<bool> ApiClient::reauthenticate(CancellationToken cancel)
{
    const auto keepAlive = shared_from_this();
    if (!m_session)
        co_return false;
    const DriveSession held = *m_session;

    // co_await is not allowed in a handler, so the outcome is noted and acted on after it.
    enum class Outcome { signedIn, secondFactorRequired, passwordRefused, otherFailure };
    Outcome outcome = Outcome::otherFailure;
    try {
        const LoginOutcome login = co_await this->login(held.account, held.password, cancel);
        outcome = login.session() ? Outcome::signedIn : Outcome::secondFactorRequired;
    } catch (const DriveError &error) {
        if (error.kind() == DriveError::Kind::notAuthenticated)
            outcome = Outcome::passwordRefused;
    } catch (const KeychainError &) {
        // The new session could not be stored: keep everything as it was.
    }

    switch (outcome) {
    case Outcome::signedIn:
        co_return true;
    case Outcome::secondFactorRequired: {
        // The device is no longer trusted: forget the session, unless the store refuses.
        bool cleared = true;
        try {
            co_await m_sessionStore->clear();
        } catch (const KeychainError &) {
            cleared = false;
        }
        if (cleared)
            m_session.reset();
        co_return false;
    }
    case Outcome::passwordRefused:
        try {
            co_await m_sessionStore->clear();
        } catch (const KeychainError &) {
            // The password is wrong whatever the store says; the session goes regardless.
        }
        m_session.reset();
        co_return false;
    case Outcome::otherFailure:
        co_return false;
    }
    Q_UNREACHABLE();
}

QCoro::Task<> ApiClient::post(QString path, QJsonObject json, CancellationToken cancel)
{
    co_await perform(std::move(path), QByteArrayLiteral("POST"), JsonBody::fromObject(json), true,
                     std::move(cancel));
}

QCoro::Task<> ApiClient::put(QString path, QJsonObject json, CancellationToken cancel)
{
    co_await perform(std::move(path), QByteArrayLiteral("PUT"), JsonBody::fromObject(json), true,
                     std::move(cancel));
}

QCoro::Task<> ApiClient::putRawJSON(QString path, QJsonValue value, CancellationToken cancel)
{
    co_await perform(std::move(path), QByteArrayLiteral("PUT"), JsonBody::fromValue(value), true,
                     std::move(cancel));
}

QUrl ApiClient::makeURL(const QString &path) const
{
    QString text = m_configuration.apiBaseURL.toString(QUrl::FullyEncoded);
    if (!path.startsWith(u'/'))
        text += u'/';
    text += path;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        throw DriveError::transport(QStringLiteral("URL invalide : ") + path);
    return url;
}

int ApiClient::retryAttempts() const
{
    if (m_configuration.maxAttempts < 1)
        qFatal("DriveConfiguration.maxAttempts must be at least 1");
    return m_configuration.maxAttempts;
}

HttpRequest ApiClient::buildRequest(const QUrl &url, const QByteArray &method,
                                    const RequestBody &body) const
{
    HttpRequest request;
    request.url = url;
    request.method = method;
    request.timeout = m_configuration.requestTimeout;
    if (m_session)
        request.setHeader("Authorization", "Bearer " + m_session->accessToken.toUtf8());
    if (const auto *json = std::get_if<JsonBody>(&body)) {
        request.setHeader("Content-Type", "application/json");
        request.body = json->bytes;
    } else if (const auto *multipart = std::get_if<MultipartBody>(&body)) {
        request.setHeader("Content-Type",
                          "multipart/form-data; boundary=" + multipart->boundary.toUtf8());
        request.body = multipart->bytes;
    }
    return request;
}

template <class Attempt>
QCoro::Task<HttpResult> ApiClient::withRetries(int attempts, CancellationToken cancel,
                                               Attempt attempt)
{
    for (int number = 1;; ++number) {
        try {
            co_return co_await attempt();
        } catch (const DriveError &error) {
            if (!error.isRetryable() || number >= attempts)
                throw;
        }
        // No jitter: the waits are 1, 2, 4… times the base delay, on the continuous clock.
        co_await m_clock->sleep(m_configuration.retryBaseDelay * (qint64(1) << (number - 1)),
                                cancel);
    }
}

QCoro::Task<HttpResult> ApiClient::perform(QString path, QByteArray method, RequestBody body,
                                           bool retry, CancellationToken cancel)
{
    const auto keepAlive = shared_from_this();
    const int attempts = retry ? retryAttempts() : 1;
    const QUrl url = makeURL(path);
    co_return co_await withRetries(attempts, cancel,
                                   [&] { return attemptOnce(url, method, body, cancel); });
}

QCoro::Task<HttpResult> ApiClient::attemptOnce(QUrl url, QByteArray method, RequestBody body,
                                               CancellationToken cancel)
{
    HttpResult result = co_await m_transport->send(buildRequest(url, method, body), cancel);
    if (result.response.isSuccess())
        co_return result;
    if (result.response.statusCode != 401)
        throw errorOf(result);

    // The token was refused: sign in again once and resend with the new token.
    if (!co_await reauthenticate(cancel))
        throw errorOf(result);
    HttpResult again = co_await m_transport->send(buildRequest(url, method, body), cancel);
    if (again.response.isSuccess())
        co_return again;
    throw errorOf(again);
}

QCoro::Task<HttpResult> ApiClient::sendExternal(HttpRequest request, CancellationToken cancel)
{
    const auto keepAlive = shared_from_this();
    co_return co_await withRetries(retryAttempts(), cancel, [&]() -> QCoro::Task<HttpResult> {
        HttpResult result = co_await m_transport->send(request, cancel);
        if (!result.response.isSuccess())
            throw DriveError::http(result.response.statusCode,
                                   bodyPrefixText(result.body, externalBodyPrefixBytes));
        co_return result;
    });
}

} // namespace OrvelanNimbal
