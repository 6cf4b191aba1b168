// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <chrono>
#include <memory>
#include <utility>

namespace httplib {
class Client;
}

namespace OrvelanNimbal::Testing {

// The real drive service, started for a test from the binary named by NIMBAL_SERVICE (ctest
// sets it) on a free loopback port, with a fresh data directory and its test controls. The
// process ends with this object, and with the test process if that dies first.
//
// The control calls below go through a plain HTTP client of their own, never through the
// client under test, and throw std::runtime_error when the service refuses them.
class LocalService {
public:
    struct Account {
        QString email;
        QString password;
        QString totpSecret; // base32; empty for an account without an authenticator
        QStringList recoveryCodes;
        bool passkeyOnly = false;
        qint64 quotaMegabytes = 10240;
    };

    // What the next answers of a route are made to be (see injectFault).
    struct Fault {
        int status = 0; // 0: the real answer
        int delayMilliseconds = 0;
        QList<std::pair<QByteArray, QByteArray>> headers;
        bool dropConnection = false; // the head is sent, then the connection breaks
        QByteArray body;

        static Fault withStatus(int status) { return Fault{status, 0, {}, false, {}}; }
        static Fault droppedConnection() { return Fault{0, 0, {}, true, {}}; }
    };

    // Why no service can be started here (NIMBAL_SERVICE is not set), or empty. Tests skip
    // with this text.
    static QString unavailableReason();

    // Starts the service and waits for it to listen; check isRunning().
    LocalService();
    ~LocalService();
    LocalService(const LocalService &) = delete;
    LocalService &operator=(const LocalService &) = delete;

    bool isRunning() const { return m_port > 0; }
    // Asks the service to stop, as the system does at shutdown, and waits for it to exit. True
    // when it exited by itself, in time and successfully.
    bool stop();
    QString errorString() const { return m_error; }

    QUrl apiBaseURL() const;    // http://127.0.0.1:PORT/api/v1
    QUrl eventsBaseURL() const; // http://127.0.0.1:PORT
    int port() const { return m_port; }
    qint64 processId() const { return m_process.processId(); }

    void addAccount(const Account &account);

    // The next `count` requests of `method` (or "*") on the server path `path` (e.g.
    // "/api/v1/drive/quota", no query) are answered with `fault`.
    void injectFault(const QByteArray &method, const QString &path, const Fault &fault,
                     int count = 1);
    // Requests received on a server path since the start or the last reset().
    int requestCount(const QByteArray &method, const QString &path);

    void setAccessTokenLifetime(qint64 seconds);
    void setPendingLoginLifetime(qint64 seconds);
    void expireAccessTokens();
    void expirePendingLogins();
    void expireTrustedDevices();

    // As if the user changed the password elsewhere; tokens already handed out stay valid.
    void changePassword(const QString &email, const QString &password);

    // --- Event streams; an empty `email` means every account ---
    // A change of the account's drive, announced as a drive request would. Gives the instant the
    // service published it on the monotonic clock, which every process of the machine shares.
    std::chrono::nanoseconds publishDriveChange(const QString &email);
    // Ends the open streams properly (the clients see the body end). Gives how many.
    int closeEventStreams(const QString &email = {});
    // Silences the open streams, connections left open. Gives how many.
    int stallEventStreams(const QString &email = {});
    int openEventStreams(const QString &email = {});
    // How many streams may be open at once, all accounts together.
    int eventStreamLimit();
    // New streams send keep-alives this often, whatever they asked for.
    void setEventKeepAlive(std::chrono::milliseconds interval);
    void setEventDebounce(std::chrono::milliseconds debounce);
    void setEventStreamLimit(int limit);
    // The next `count` attempts to open a stream are answered `status`.
    void refuseEventStreams(int status, int count);

    // Faults (storage faults too), counts, lifetimes, rate limits and event-stream settings
    // back to how the service started; every open stream ended.
    void reset();

    // An address no other test of this run uses; `tag` makes logs readable.
    static QString uniqueEmail(const QString &tag);

private:
    QByteArray call(const char *method, const std::string &path, const QByteArray &body = {});
    void setLifetime(const char *key, qint64 seconds);
    void expire(const char *kind);
    QJsonObject eventStreams(const QString &email);
    int actOnEventStreams(const char *action, const QString &email, const char *resultKey);
    void setEventSetting(const char *key, qint64 value);

    QTemporaryDir m_data;
    QProcess m_process;
    std::unique_ptr<httplib::Client> m_control;
    int m_port = 0;
    QString m_error;
};

} // namespace OrvelanNimbal::Testing
