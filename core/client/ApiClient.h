// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"
#include "async/Clock.h"
#include "auth/DriveSession.h"
#include "auth/SessionStoring.h"
#include "auth/TrustedDeviceStoring.h"
#include "auth/TwoFactor.h"
#include "config/DriveConfiguration.h"
#include "errors/DriveError.h"
#include "json/JsonDecoding.h"
#include "net/HTTPTransport.h"
#include "net/MultipartForm.h"
#include "net/RequestBody.h"

#include <QJsonObject>

#include <memory>

namespace OrvelanNimbal {

template <class T>
class SharedResult;

// The one gateway to the drive service's API. It holds the signed-in session, builds each
// request from a path under the API base URL, retries transport failures and 5xx answers with
// a doubling back-off, signs in again silently when a token is refused, and reports every
// failure as a DriveError.
//
// All of it runs on the thread that created the client (the main thread in the application),
// one piece at a time; while one operation waits, others run. Each operation therefore reads
// the held session when it builds a request, so a sign-in that completes during another
// request's back-off changes that request's next attempt.
class ApiClient : public std::enable_shared_from_this<ApiClient> {
public:
    static std::shared_ptr<ApiClient> create(DriveConfiguration configuration,
                                             std::shared_ptr<HTTPTransport> transport,
                                             std::shared_ptr<SessionStoring> sessionStore,
                                             std::shared_ptr<TrustedDeviceStoring> trustedDevices,
                                             std::shared_ptr<Clock> clock = systemClock());

    const DriveConfiguration &configuration() const { return m_configuration; }
    const std::shared_ptr<Clock> &clock() const { return m_clock; }
    HTTPTransport &transport() const { return *m_transport; }

    // --- Session ---
    bool isAuthenticated() const { return m_session.has_value(); }
    std::optional<QString> account() const;
    std::optional<QString> currentAccessToken() const;
    const std::optional<DriveSession> &session() const { return m_session; }

    // Replaces the held session with the stored one (possibly none); true when one is held.
    // A store failure is passed on and leaves the held session as it was.
    QCoro::Task<bool> restoreSession();
    // Clears the stored session, then forgets the held one. Trusted-device tokens stay.
    QCoro::Task<> logout();
    // Signs in again with the held credentials; never fails (cancellation aside).
    QCoro::Task<bool> refreshSession(CancellationToken cancel = {});
    // The silent re-login behind a refused token and the event stream: see the definition.
    // Whoever asks while one runs waits for that one: a burst of refused requests makes one
    // sign-in, never one each.
    QCoro::Task<bool> reauthenticate(CancellationToken cancel = {});

    // --- Sign-in (one request each, never retried, never authenticated) ---
    QCoro::Task<LoginOutcome> login(QString email, QString password, CancellationToken cancel = {});
    QCoro::Task<DriveSession> verifyTwoFactor(TwoFactorChallenge challenge, TwoFactorMethod method,
                                              QString code, bool rememberDevice,
                                              QString deviceLabel, CancellationToken cancel = {});

    // --- Requests; paths are relative to the API base URL and escaped by the caller ---
    template <class T>
    QCoro::Task<T> get(QString path, CancellationToken cancel = {});
    template <class T>
    QCoro::Task<T> post(QString path, QJsonObject json, CancellationToken cancel = {});
    QCoro::Task<> post(QString path, QJsonObject json, CancellationToken cancel = {});
    QCoro::Task<> put(QString path, QJsonObject json, CancellationToken cancel = {});
    // PUT of any single JSON value, such as a bare string.
    QCoro::Task<> putRawJSON(QString path, QJsonValue value, CancellationToken cancel = {});
    // Multipart requests are sent once: a body this size is not resent blindly.
    template <class T>
    QCoro::Task<T> postMultipart(QString path, MultipartForm form, CancellationToken cancel = {});
    template <class T>
    QCoro::Task<T> putMultipart(QString path, MultipartForm form, CancellationToken cancel = {});

    // A request outside the API (pre-signed storage addresses), sent exactly as given: no
    // token, no URL building. Retried like API requests; a non-2xx answer is an http error
    // carrying the first 300 bytes of its body.
    QCoro::Task<HttpResult> sendExternal(HttpRequest request, CancellationToken cancel = {});
    // The error of an unsuccessful answer from outside the API: its status and the first 300
    // bytes of its body.
    static DriveError externalError(int status, const QByteArray &body);

    // Runs `attempt` (a callable giving a QCoro::Task<T>) up to `attempts` times while it fails
    // with a retryable DriveError, waiting the pipeline's back-off in between: the rule of every
    // retried request, for transfers that do not fit in one (content streamed into a file).
    template <class T, class Attempt>
    QCoro::Task<T> withRetries(int attempts, CancellationToken cancel, Attempt attempt);
    // The configured number of attempts of a retried request.
    int retryAttempts() const;

    // The pipeline under every API request: the body and head of a 2xx answer, or a DriveError.
    QCoro::Task<HttpResult> perform(QString path, QByteArray method, RequestBody body, bool retry,
                                    CancellationToken cancel = {});

    // The API base URL's text followed by the path (a "/" put in front when missing). Throws
    // DriveError::transport "URL invalide : " + path when the result is not a URL.
    QUrl makeURL(const QString &path) const;

    template <class T>
    static T decodeResponse(const QByteArray &body)
    {
        return Json::decode<T>(body);
    }

private:
    ApiClient(DriveConfiguration configuration, std::shared_ptr<HTTPTransport> transport,
              std::shared_ptr<SessionStoring> sessionStore,
              std::shared_ptr<TrustedDeviceStoring> trustedDevices, std::shared_ptr<Clock> clock);

    HttpRequest buildRequest(const QUrl &url, const QByteArray &method,
                             const RequestBody &body) const;
    HttpRequest signInRequest(const QString &path, const QJsonObject &body) const;
    QCoro::Task<HttpResult> attemptOnce(QUrl url, QByteArray method, RequestBody body,
                                        CancellationToken cancel);
    static void logRetry(int next, int attempts, const DriveError &error);
    // The one sign-in that every refused request of the moment waits for.
    QCoro::Task<> signInAgain(std::shared_ptr<SharedResult<bool>> outcome);
    QCoro::Task<bool> signInWithHeldSession();

    const DriveConfiguration m_configuration;
    const std::shared_ptr<HTTPTransport> m_transport;
    const std::shared_ptr<SessionStoring> m_sessionStore;
    const std::shared_ptr<TrustedDeviceStoring> m_trustedDevices;
    const std::shared_ptr<Clock> m_clock;
    std::optional<DriveSession> m_session;
    std::shared_ptr<SharedResult<bool>> m_reauthentication; // while one runs
};

template <class T, class Attempt>
QCoro::Task<T> ApiClient::withRetries(int attempts, CancellationToken cancel, Attempt attempt)
{
    const auto keepAlive = shared_from_this();
    for (int number = 1;; ++number) {
        try {
            co_return co_await attempt();
        } catch (const DriveError &error) {
            if (!error.isRetryable() || number >= attempts)
                throw;
            logRetry(number + 1, attempts, error);
        }
        // No jitter: the waits are 1, 2, 4… times the base delay, on the continuous clock.
        co_await m_clock->sleep(m_configuration.retryBaseDelay * (qint64(1) << (number - 1)),
                                cancel);
    }
}

template <class T>
QCoro::Task<T> ApiClient::get(QString path, CancellationToken cancel)
{
    const HttpResult result =
        co_await perform(std::move(path), QByteArrayLiteral("GET"), {}, true, std::move(cancel));
    co_return decodeResponse<T>(result.body);
}

template <class T>
QCoro::Task<T> ApiClient::post(QString path, QJsonObject json, CancellationToken cancel)
{
    const HttpResult result = co_await perform(std::move(path), QByteArrayLiteral("POST"),
                                               JsonBody::fromObject(json), true, std::move(cancel));
    co_return decodeResponse<T>(result.body);
}

template <class T>
QCoro::Task<T> ApiClient::postMultipart(QString path, MultipartForm form, CancellationToken cancel)
{
    MultipartBody body{form.takeBody(), form.boundary()};
    const HttpResult result = co_await perform(std::move(path), QByteArrayLiteral("POST"),
                                               std::move(body), false, std::move(cancel));
    co_return decodeResponse<T>(result.body);
}

template <class T>
QCoro::Task<T> ApiClient::putMultipart(QString path, MultipartForm form, CancellationToken cancel)
{
    MultipartBody body{form.takeBody(), form.boundary()};
    const HttpResult result = co_await perform(std::move(path), QByteArrayLiteral("PUT"),
                                               std::move(body), false, std::move(cancel));
    co_return decodeResponse<T>(result.body);
}

} // namespace OrvelanNimbal
