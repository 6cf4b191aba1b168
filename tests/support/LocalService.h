// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

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
    QString errorString() const { return m_error; }

    QUrl apiBaseURL() const;    // http://127.0.0.1:PORT/api/v1
    QUrl eventsBaseURL() const; // http://127.0.0.1:PORT
    int port() const { return m_port; }

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

    // Faults, counts, lifetimes and rate limits back to how the service started.
    void reset();

    // An address no other test of this run uses; `tag` makes logs readable.
    static QString uniqueEmail(const QString &tag);

private:
    QByteArray call(const char *method, const std::string &path, const QByteArray &body = {});
    void setLifetime(const char *key, qint64 seconds);
    void expire(const char *kind);

    QTemporaryDir m_data;
    QProcess m_process;
    std::unique_ptr<httplib::Client> m_control;
    int m_port = 0;
    QString m_error;
};

} // namespace OrvelanNimbal::Testing
