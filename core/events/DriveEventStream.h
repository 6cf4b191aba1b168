// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"

#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace OrvelanNimbal {

class ApiClient;

// The live connection to the service's event stream. run() keeps it open for as long as the
// caller wants: it connects with the client's current token, reports how the connection
// stands, calls back on every "drive.changed" notice, reconnects after a stepped back-off when
// the connection drops, and signs in again silently when the token is refused.
//
// A plain value: it holds no state of its own, so one stream may be run again after a stop.
class DriveEventStream {
public:
    // How the connection stands, as the application shows it.
    class Status {
    public:
        enum class Kind {
            disconnected, // down; the next attempt starts in retryIn() seconds
            connected,    // the service answered and events are flowing
            unauthorized, // the token was refused and the silent sign-in failed; run() stopped
        };

        static Status disconnected(qint64 retryInSeconds)
        {
            return {Kind::disconnected, retryInSeconds};
        }
        static Status connected() { return {Kind::connected, 0}; }
        static Status unauthorized() { return {Kind::unauthorized, 0}; }

        Kind kind() const { return m_kind; }
        // Seconds until the next attempt of a disconnected stream; 0 for the other cases.
        qint64 retryIn() const { return m_retryIn; }

        friend bool operator==(const Status &, const Status &) = default;

    private:
        Status(Kind kind, qint64 retryIn)
            : m_kind(kind)
            , m_retryIn(retryIn)
        {}

        Kind m_kind;
        qint64 m_retryIn;
    };

    using ChangeHandler = std::function<QCoro::Task<>()>;
    using StatusHandler = std::function<QCoro::Task<>(Status)>;

    // The one event the application acts on; every other event is ignored.
    static inline const QString changedEvent = QStringLiteral("drive.changed");

    // `pingSeconds` is the keep-alive interval asked of the service. The connection is given up
    // when nothing at all arrives for `idleTimeout`; by default two missed keep-alives plus a
    // margin of 15 s. Tests pass a shorter one so that a silent server is noticed in
    // milliseconds.
    DriveEventStream(std::shared_ptr<ApiClient> client, QUrl baseURL, qint64 pingSeconds,
                     std::optional<std::chrono::milliseconds> idleTimeout = std::nullopt);

    const std::shared_ptr<ApiClient> &client() const { return m_client; }
    const QUrl &baseURL() const { return m_baseURL; }
    qint64 pingSeconds() const { return m_pingSeconds; }
    std::chrono::milliseconds idleTimeout() const;

    // The stream's address: the base with "api/v1/jmap/events/web" appended and the ping
    // interval as query. Nothing when that is not a usable URL.
    std::optional<QUrl> streamURL() const;

    // Runs until `cancel` fires (then returns quietly, whatever it was doing) or until the
    // service refuses the token and the silent sign-in fails (then reports unauthorized and
    // returns). Never throws. Both handlers are awaited: no further event is handled while
    // onChange runs, and the connection is no longer read once a little has piled up. They are
    // called on the thread that runs this, which must be the client's.
    QCoro::Task<> run(ChangeHandler onChange, StatusHandler onStatus,
                      CancellationToken cancel = {}) const;

private:
    std::shared_ptr<ApiClient> m_client;
    QUrl m_baseURL;
    qint64 m_pingSeconds;
    std::optional<std::chrono::milliseconds> m_idleTimeout;
};

} // namespace OrvelanNimbal
