// SPDX-License-Identifier: GPL-3.0-or-later
#include "events/DriveEventStream.h"

#include "client/ApiClient.h"
#include "config/CoreLogging.h"
#include "errors/DriveError.h"
#include "events/EventStreamConnection_p.h"

#include <QUrlQuery>

#include <array>

namespace OrvelanNimbal {

namespace {

using namespace std::chrono_literals;

// Waits before reconnecting, by the number of failures since the service last answered 200:
// a stream that connected and dropped is back within a second, a service that keeps refusing
// is asked at most once a minute.
constexpr std::array<std::chrono::seconds, 6> reconnectDelays{1s, 2s, 5s, 10s, 30s, 60s};

std::chrono::seconds reconnectDelay(int failures)
{
    return reconnectDelays[std::min<std::size_t>(failures, reconnectDelays.size() - 1)];
}

// run() never throws, and a failing handler is the caller's fault, not the connection's: the
// failure is logged and the stream goes on.
QCoro::Task<> report(DriveEventStream::StatusHandler onStatus, DriveEventStream::Status status)
{
    try {
        co_await onStatus(status);
    } catch (const std::exception &error) {
        qCWarning(lcEvents, "flux : le rapport d'état a échoué : %s", error.what());
    } catch (...) {
        qCWarning(lcEvents, "flux : le rapport d'état a échoué");
    }
}

DriveEventStream::ChangeHandler guarded(DriveEventStream::ChangeHandler onChange)
{
    return [onChange = std::move(onChange)]() -> QCoro::Task<> {
        try {
            co_await onChange();
        } catch (const std::exception &error) {
            qCWarning(lcEvents, "flux : le traitement d'un changement a échoué : %s", error.what());
        } catch (...) {
            qCWarning(lcEvents, "flux : le traitement d'un changement a échoué");
        }
    };
}

HttpRequest streamRequest(const DriveEventStream &stream, const QString &accessToken)
{
    const std::optional<QUrl> url = stream.streamURL();
    if (!url)
        throw DriveError::transport(QStringLiteral("URL du flux invalide"));
    HttpRequest request;
    request.url = *url;
    request.setHeader("Authorization", "Bearer " + accessToken.toUtf8());
    request.setHeader("Accept", "text/event-stream");
    request.timeout = double(stream.idleTimeout().count()) / 1000.0;
    return request;
}

// The silent sign-in after a refused token. Any failure of it, cancellation included, counts
// as a refusal; the caller tells the two apart by the token.
QCoro::Task<bool> signInAgain(std::shared_ptr<ApiClient> client, CancellationToken cancel)
{
    try {
        co_return co_await client->reauthenticate(cancel);
    } catch (const OperationCancelled &) {
    } catch (const std::exception &error) {
        qCInfo(lcEvents, "flux : la reconnexion silencieuse a échoué : %s", error.what());
    } catch (...) {
    }
    co_return false;
}

enum class AttemptEnd { bodyEnded, refused, failed, cancelled };

QCoro::Task<> runStream(DriveEventStream stream, DriveEventStream::ChangeHandler onChange,
                        DriveEventStream::StatusHandler onStatus, CancellationToken cancel)
{
    const std::shared_ptr<ApiClient> &client = stream.client(); // the stream lives in this frame
    onChange = guarded(std::move(onChange));
    int failures = 0;

    while (!cancel.isCancelled()) {
        AttemptEnd end = AttemptEnd::bodyEnded;
        try {
            const std::optional<QString> token = client->currentAccessToken();
            if (!token)
                throw DriveError::notAuthenticated();
            EventStreamConnection connection(client->transport(), streamRequest(stream, *token),
                                             cancel);
            co_await connection.open();
            failures = 0; // only a real answer from the stream resets the back-off
            qCInfo(lcEvents, "flux : connecté");
            co_await report(onStatus, DriveEventStream::Status::connected());
            co_await connection.readEvents(onChange);
            qCInfo(lcEvents, "flux : fermé par le service");
        } catch (const OperationCancelled &) {
            end = AttemptEnd::cancelled;
        } catch (const DriveError &error) {
            end = error.kind() == DriveError::Kind::notAuthenticated ? AttemptEnd::refused
                                                                     : AttemptEnd::failed;
            qCInfo(lcEvents, "flux : %s", qUtf8Printable(error.errorDescription()));
        } catch (...) {
            end = AttemptEnd::failed;
        }

        if (end == AttemptEnd::cancelled || cancel.isCancelled())
            co_return;
        if (end == AttemptEnd::refused) {
            if (co_await signInAgain(client, cancel))
                continue; // a new token: straight back, nothing to report
            if (cancel.isCancelled())
                co_return;
            qCInfo(lcEvents, "flux : jeton refusé, connexion nécessaire");
            co_await report(onStatus, DriveEventStream::Status::unauthorized());
            co_return;
        }

        const std::chrono::seconds delay = reconnectDelay(failures++);
        qCInfo(lcEvents, "flux : nouvelle tentative dans %lld s",
               static_cast<long long>(delay.count()));
        co_await report(onStatus, DriveEventStream::Status::disconnected(delay.count()));
        try {
            co_await client->clock()->sleep(delay, cancel);
        } catch (...) {
            // Cancelled: the loop condition ends run. Any other interruption: try again now.
        }
    }
}

} // namespace

DriveEventStream::DriveEventStream(std::shared_ptr<ApiClient> client, QUrl baseURL,
                                   qint64 pingSeconds,
                                   std::optional<std::chrono::milliseconds> idleTimeout)
    : m_client(std::move(client))
    , m_baseURL(std::move(baseURL))
    , m_pingSeconds(pingSeconds)
    , m_idleTimeout(idleTimeout)
{}

std::chrono::milliseconds DriveEventStream::idleTimeout() const
{
    // Two keep-alives missed in a row, plus room for a slow network.
    return m_idleTimeout.value_or(std::chrono::seconds(m_pingSeconds * 2 + 15));
}

std::optional<QUrl> DriveEventStream::streamURL() const
{
    if (!m_baseURL.isValid() || m_baseURL.isRelative() || m_baseURL.host().isEmpty())
        return std::nullopt;
    QUrl url = m_baseURL;
    QString path = url.path();
    if (!path.endsWith(u'/'))
        path += u'/';
    url.setPath(path + QStringLiteral("api/v1/jmap/events/web"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("ping"), QString::number(m_pingSeconds));
    url.setQuery(query);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

QCoro::Task<> DriveEventStream::run(ChangeHandler onChange, StatusHandler onStatus,
                                    CancellationToken cancel) const
{
    return runStream(*this, std::move(onChange), std::move(onStatus), std::move(cancel));
}

} // namespace OrvelanNimbal
