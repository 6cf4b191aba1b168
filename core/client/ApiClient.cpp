// SPDX-License-Identifier: GPL-3.0-or-later
#include "client/ApiClient.h"

#include "auth/KeychainError.h"
#include "client/SharedResult_p.h"
#include "config/CoreLogging.h"
#include "errors/DriveError.h"
#include "errors/HttpErrorMapping.h"

namespace OrvelanNimbal {

namespace {

// A storage answer is quoted in its error with a shorter excerpt than an API answer.
constexpr qsizetype externalBodyPrefixBytes = 300;

// What a log may say of a failure: the case, and our own words for a transport failure; never
// a body, which is the server's text.
QString loggedReason(const DriveError &error)
{
    if (error.kind() == DriveError::Kind::transport)
        return error.text();
    return debugName(error);
}

// A Retry-After of whole seconds; the date form is left aside (the service sends seconds).
std::optional<std::chrono::seconds> retryAfterOf(const HttpResponse &response)
{
    const std::optional<QByteArray> value = response.header("Retry-After");
    if (!value)
        return std::nullopt;
    bool ok = false;
    const qint64 seconds = value->trimmed().toLongLong(&ok);
    if (!ok || seconds < 0)
        return std::nullopt;
    return std::chrono::seconds(seconds);
}

DriveError errorOf(const HttpResult &result)
{
    return mapHTTPError(result.response.statusCode, result.body,
                        result.response.headerText("X-Drive-Conflict"))
        .withRetryAfter(retryAfterOf(result.response));
}

} // namespace

DriveError ApiClient::externalError(int status, const QByteArray &body)
{
    return DriveError::http(status, bodyPrefixText(body, externalBodyPrefixBytes));
}

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
    if (!m_reauthentication) {
        if (!m_session)
            co_return false;
        m_reauthentication = std::make_shared<SharedResult<bool>>();
        signInAgain(m_reauthentication); // runs on its own; this call only waits for it
    } else {
        qCDebug(lcClient, "reconnexion silencieuse déjà en cours : attente de son issue");
    }
    co_return co_await SharedResult<bool>::wait(m_reauthentication, std::move(cancel));
}

QCoro::Task<> ApiClient::signInAgain(std::shared_ptr<SharedResult<bool>> outcome)
{
    const auto keepAlive = shared_from_this();
    // Under nobody's cancellation: those who wait may give up, the others still need it.
    bool signedIn = false;
    try {
        signedIn = co_await signInWithHeldSession();
    } catch (...) {
        // Cancellation cannot reach it; any other failure means no new session.
    }
    m_reauthentication.reset();
    outcome->set(signedIn);
}

QCoro::Task<bool> ApiClient::signInWithHeldSession()
{
    const DriveSession held = *m_session;
    qCInfo(lcClient, "reconnexion silencieuse de %s",
           qUtf8Printable(redactedAccount(held.account)));

    // co_await is not allowed in a handler, so the outcome is noted and acted on after it.
    enum class Outcome { signedIn, secondFactorRequired, passwordRefused, otherFailure };
    Outcome outcome = Outcome::otherFailure;
    try {
        const LoginOutcome login = co_await this->login(held.account, held.password);
        outcome = login.session() ? Outcome::signedIn : Outcome::secondFactorRequired;
    } catch (const DriveError &error) {
        if (error.kind() == DriveError::Kind::notAuthenticated)
            outcome = Outcome::passwordRefused;
        qCInfo(lcClient, "reconnexion silencieuse : échec (%s)", qUtf8Printable(debugName(error)));
    } catch (const KeychainError &) {
        // The new session could not be stored: keep everything as it was.
        qCWarning(lcClient, "reconnexion silencieuse : la session n'a pas pu être enregistrée");
    }

    switch (outcome) {
    case Outcome::signedIn:
        qCInfo(lcClient, "reconnexion silencieuse : nouvelle session");
        co_return true;
    case Outcome::secondFactorRequired: {
        // The device is no longer trusted: forget the session, unless the store refuses.
        qCInfo(lcClient, "reconnexion silencieuse : deuxième facteur demandé, session oubliée");
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
        qCInfo(lcClient, "reconnexion silencieuse : mot de passe refusé, session oubliée");
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
    QUrl url(text, QUrl::StrictMode);
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
    // A listing of many files shrinks to a tenth; gzip, because the stronger encodings cost the
    // server far more time than they save.
    request.setHeader("Accept-Encoding", "gzip");
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

void ApiClient::logRetry(int next, int attempts, const DriveError &error)
{
    qCInfo(lcClient, "nouvel essai (%d sur %d) après : %s", next, attempts,
           qUtf8Printable(loggedReason(error)));
}

QCoro::Task<HttpResult> ApiClient::perform(QString path, QByteArray method, RequestBody body,
                                           bool retry, CancellationToken cancel)
{
    const auto keepAlive = shared_from_this();
    const int attempts = retry ? retryAttempts() : 1;
    const QUrl url = makeURL(path);
    const auto attempt = [&] { return attemptOnce(url, method, body, cancel); };
    co_return co_await withRetries<HttpResult>(attempts, cancel, attempt);
}

QCoro::Task<HttpResult> ApiClient::attemptOnce(QUrl url, QByteArray method, RequestBody body,
                                               CancellationToken cancel)
{
    const std::optional<QString> sentToken = currentAccessToken();
    HttpResult result = co_await m_transport->send(buildRequest(url, method, body), cancel);
    if (result.response.isSuccess())
        co_return result;
    if (result.response.statusCode != 401)
        throw errorOf(result);

    // The token was refused: sign in again once and resend with the new token. When another
    // request's sign-in has already replaced the token this one carried, the new one is used
    // as it is.
    const bool renewed = m_session && m_session->accessToken != sentToken;
    if (renewed)
        qCDebug(lcClient, "jeton refusé, déjà renouvelé : nouvel envoi");
    else
        qCInfo(lcClient, "jeton refusé : %s %s", method.constData(), qUtf8Printable(url.path()));
    bool signedIn = renewed;
    if (!renewed)
        signedIn = co_await reauthenticate(cancel);
    if (!signedIn)
        throw errorOf(result);
    HttpResult again = co_await m_transport->send(buildRequest(url, method, body), cancel);
    if (again.response.isSuccess())
        co_return again;
    throw errorOf(again);
}

QCoro::Task<HttpResult> ApiClient::sendExternal(HttpRequest request, CancellationToken cancel)
{
    const auto keepAlive = shared_from_this();
    qCDebug(lcClient, "envoi hors API : %s %s", request.method.constData(),
            qUtf8Printable(loggedURL(request.url)));
    const auto attempt = [&]() -> QCoro::Task<HttpResult> {
        HttpResult result = co_await m_transport->send(request, cancel);
        if (!result.response.isSuccess())
            throw externalError(result.response.statusCode, result.body);
        co_return result;
    };
    co_return co_await withRetries<HttpResult>(retryAttempts(), cancel, attempt);
}

} // namespace OrvelanNimbal
