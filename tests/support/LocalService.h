// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "models/DriveModels.h"

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

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

    // How the next answers of a route go wrong: a status, or a connection that breaks once
    // the head is sent.
    struct Fault {
        int status = 0;
        bool dropConnection = false;
    };

    // What an account's uploads have left on the service: rows of uploads in progress and of
    // their parts, files in its parts folder and in its content folder.
    struct Leftovers {
        int uploads = 0;
        int parts = 0;
        int partFiles = 0;
        int contentFiles = 0;
    };

    // Why no service can be started here (NIMBAL_SERVICE is not set), or empty.
    static QString unavailableReason();
    // An address no other test of this run uses; `tag` makes logs readable.
    static QString uniqueEmail(const QString &tag);

    // Where the service's request log goes: into the test's output, shown when a test fails,
    // or nowhere (a benchmark's figures would drown in a line per request).
    enum class RequestLog { shown, discarded };

    // Starts the service and waits for it to listen; check isRunning().
    explicit LocalService(RequestLog log = RequestLog::shown);
    ~LocalService();
    LocalService(const LocalService &) = delete;
    LocalService &operator=(const LocalService &) = delete;

    bool isRunning() const { return m_port > 0; }
    QString errorString() const { return m_error; }
    int port() const { return m_port; }
    qint64 processId() const { return m_process.processId(); }
    QUrl apiBaseURL() const;    // http://127.0.0.1:PORT/api/v1
    QUrl eventsBaseURL() const; // http://127.0.0.1:PORT
    // Where the service keeps its data; it outlives a kill.
    QString dataDirectory() const { return m_data.path(); }

    // Kills the service at once (SIGKILL), as a crash or a power cut would, and starts it again
    // on the same data directory and a new port; check isRunning().
    void killAndRestart();

    void addAccount(const Account &account);
    void setAccessTokenLifetime(qint64 seconds);
    void expireAccessTokens() { expire("access_tokens"); }
    void expirePendingLogins() { expire("pending_logins"); }
    void expireTrustedDevices() { expire("trusted_devices"); }

    // The next `count` requests of `method` on the server path `path` (e.g.
    // "/api/v1/drive/quota", no query) meet `fault`.
    void injectFault(const QByteArray &method, const QString &path, Fault fault, int count = 1);
    // Requests received on a server path since the start or the last reset().
    int requestCount(const QByteArray &method, const QString &path);

    // A file put straight into the account's drive, as the service records it.
    DriveFile putFile(const QString &email, const QString &name, const QByteArray &content,
                      std::optional<qint64> folder = {}, const QString &thumbnailKey = {});
    // What the web site can do to a file: open it in the editor ("locked"), move it to
    // reinforced storage ("reinforced") or to a cold storage class ("glacier", …).
    void setFileState(const QString &email, qint64 id, const QString &state);
    // A large drive in one go: `folders` folders at the root and `files` empty files spread
    // over them ("fichier-000000.txt"…), far faster than one request each.
    void seedDrive(const QString &email, int folders, int files);
    // The feed refuses every cursor but the newest, which this gives.
    qint64 compactChanges(const QString &email);
    // The storage answers the next `count` part uploads `status` and keeps nothing.
    void failStorage(int count, int status = 503);
    Leftovers leftovers(const QString &email);

    // --- Event streams; an empty `email` means every account ---
    // A change of the account's drive, announced as a drive request would. Gives the instant the
    // service published it on the monotonic clock, which every process of the machine shares.
    std::chrono::nanoseconds publishDriveChange(const QString &email);
    // Ends the open streams properly (the clients see the body end). Gives how many.
    int closeEventStreams(const QString &email = {});
    // Silences the open streams, connections left open. Gives how many.
    int stallEventStreams(const QString &email = {});
    // How many streams may be open at once, all accounts together.
    int eventStreamLimit();
    // How many streams are open now, all accounts together.
    int openEventStreams();
    // New streams send keep-alives this often, whatever they asked for.
    void setEventKeepAlive(std::chrono::milliseconds interval);
    void setEventDebounce(std::chrono::milliseconds debounce);
    // The next `count` attempts to open a stream are answered `status`.
    void refuseEventStreams(int status, int count);

    // Faults, counts, lifetimes, rate limits and event-stream settings back to how the service
    // started; every open stream ended.
    void reset();

private:
    void start();
    QJsonObject call(const char *method, const std::string &path, const QJsonObject &body = {});
    void expire(const char *kind);

    QTemporaryDir m_data;
    RequestLog m_log;
    QProcess m_process;
    std::unique_ptr<httplib::Client> m_control;
    int m_port = 0;
    QString m_error;
};

} // namespace OrvelanNimbal::Testing
