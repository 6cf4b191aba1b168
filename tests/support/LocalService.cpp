// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocalService.h"

#include "json/JsonDecoding.h"
#include "models/DriveDTOs.h"
#include "models/WireConversions.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrlQuery>
#include <QUuid>

#include <atomic>
#include <httplib.h>
#include <signal.h>
#include <stdexcept>
#include <sys/prctl.h>

namespace OrvelanNimbal::Testing {

namespace {

const char *const serviceVariable = "NIMBAL_SERVICE";
constexpr int startTimeoutMilliseconds = 10000;
constexpr int stopTimeoutMilliseconds = 5000;

std::string query(const QString &key, const QString &value)
{
    QUrlQuery query;
    query.addQueryItem(key, value);
    return "?" + query.toString(QUrl::FullyEncoded).toStdString();
}

// The body naming an account; left empty, an event-stream control acts on every account.
QJsonObject emailBody(const QString &email)
{
    return email.isEmpty() ? QJsonObject() : QJsonObject{{u"email"_qs, email}};
}

} // namespace

QString LocalService::unavailableReason()
{
    if (qEnvironmentVariableIsEmpty(serviceVariable))
        return QStringLiteral("NIMBAL_SERVICE is not set: run through ctest (or ./run test), or "
                              "point it at the nimbal-service binary");
    return {};
}

QString LocalService::uniqueEmail(const QString &tag)
{
    static std::atomic<int> counter = 0;
    return QStringLiteral("%1-%2-%3@nimbal.test")
        .arg(tag)
        .arg(++counter)
        .arg(QUuid::createUuid().toString(QUuid::Id128).left(8));
}

LocalService::LocalService(RequestLog log)
    : m_log(log)
{
    start();
}

void LocalService::killAndRestart()
{
    m_process.kill();
    m_process.waitForFinished(stopTimeoutMilliseconds);
    m_control.reset();
    m_port = 0;
    start();
}

void LocalService::start()
{
    const QString program = qEnvironmentVariable(serviceVariable);
    if (program.isEmpty() || !m_data.isValid()) {
        m_error = program.isEmpty() ? unavailableReason() : m_data.errorString();
        return;
    }
    m_process.setProgram(program);
    m_process.setArguments({QStringLiteral("serve"), QStringLiteral("--data"), m_data.path(),
                            QStringLiteral("--port"), QStringLiteral("0"),
                            QStringLiteral("--test-controls")});
    if (m_log == RequestLog::shown)
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    else
        m_process.setStandardErrorFile(QProcess::nullDevice());
    // A test that crashes takes its service along instead of leaving it to hold ctest's pipe.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.start();
    QElapsedTimer waited;
    waited.start();
    while (!m_process.canReadLine()) {
        const int left = int(startTimeoutMilliseconds - waited.elapsed());
        if (left <= 0 || !m_process.waitForReadyRead(left)) {
            m_error = QStringLiteral("the service did not say it was listening: ")
                      + m_process.errorString();
            return;
        }
    }
    static const QRegularExpression ready(
        QStringLiteral("^nimbal-service listening on http://127\\.0\\.0\\.1:(\\d+)$"));
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    const auto match = ready.match(line);
    if (!match.hasMatch()) {
        m_error = QStringLiteral("unexpected first line from the service: ") + line;
        return;
    }
    m_port = match.captured(1).toInt();
    m_control = std::make_unique<httplib::Client>("127.0.0.1", m_port);
}

LocalService::~LocalService()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(stopTimeoutMilliseconds)) {
        m_process.kill();
        m_process.waitForFinished(stopTimeoutMilliseconds);
    }
}

QUrl LocalService::apiBaseURL() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1").arg(m_port));
}

QUrl LocalService::eventsBaseURL() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

QJsonObject LocalService::call(const char *method, const std::string &path, const QJsonObject &body)
{
    if (!m_control)
        throw std::runtime_error("the local service is not running");
    const std::string content = QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
    const httplib::Result result = qstrcmp(method, "POST") == 0
                                       ? m_control->Post(path, content, "application/json")
                                       : m_control->Get(path);
    if (!result)
        throw std::runtime_error("test control " + path
                                 + " failed: " + httplib::to_string(result.error()));
    if (result->status < 200 || result->status > 299)
        throw std::runtime_error("test control " + path + " answered "
                                 + std::to_string(result->status) + ": " + result->body);
    return QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
}

void LocalService::addAccount(const Account &account)
{
    QJsonObject body{{u"email"_qs, account.email},
                     {u"password"_qs, account.password},
                     {u"recovery_codes"_qs, QJsonArray::fromStringList(account.recoveryCodes)},
                     {u"passkey_only"_qs, account.passkeyOnly},
                     {u"quota_mb"_qs, account.quotaMegabytes}};
    if (!account.totpSecret.isEmpty())
        body.insert(u"totp_secret"_qs, account.totpSecret);
    call("POST", "/_test/accounts", body);
}

void LocalService::setAccessTokenLifetime(qint64 seconds)
{
    call("POST", "/_test/lifetimes", {{u"access_token_seconds"_qs, seconds}});
}

void LocalService::expire(const char *kind)
{
    // Access tokens are voided unless the body says otherwise.
    QJsonObject body{{u"access_tokens"_qs, false}};
    body.insert(QString::fromLatin1(kind), true);
    call("POST", "/_test/expire", body);
}

void LocalService::injectFault(const QByteArray &method, const QString &path, Fault fault,
                               int count)
{
    call("POST", "/_test/faults",
         {{u"method"_qs, QString::fromLatin1(method)},
          {u"path"_qs, path},
          {u"count"_qs, count},
          {u"status"_qs, fault.status},
          {u"drop_connection"_qs, fault.dropConnection}});
}

int LocalService::requestCount(const QByteArray &method, const QString &path)
{
    return call("GET", "/_test/requests" + query(u"path"_qs, path) + "&method=" + method.data())
        .value(u"count")
        .toInt(-1);
}

DriveFile LocalService::putFile(const QString &email, const QString &name,
                                const QByteArray &content, std::optional<qint64> folder,
                                const QString &thumbnailKey)
{
    QJsonObject body{{u"email"_qs, email},
                     {u"file_name"_qs, name},
                     {u"id_folder"_qs, folder.value_or(0)},
                     {u"content"_qs, QString::fromUtf8(content)}};
    if (!thumbnailKey.isEmpty()) {
        body.insert(u"file_miniatures_path"_qs, thumbnailKey);
        body.insert(u"thumbnails"_qs, QJsonArray{thumbnailKey});
    }
    const QJsonObject record = call("POST", "/_test/drive/files", body);
    return fileFromWire(Json::decode<FileDTO>(QJsonDocument(record).toJson()));
}

void LocalService::setFileState(const QString &email, qint64 id, const QString &state)
{
    QJsonObject body{{u"email"_qs, email}, {u"id"_qs, id}};
    if (state == u"locked" || state == u"reinforced")
        body.insert(state, true);
    else
        body.insert(u"storage_class"_qs, state);
    call("POST", "/_test/drive/flags", body);
}

void LocalService::seedDrive(const QString &email, int folders, int files)
{
    // A hundred thousand rows take longer than the controls' usual five seconds.
    m_control->set_read_timeout(std::chrono::minutes(10));
    call("POST", "/_test/drive/seed",
         {{u"email"_qs, email}, {u"folders"_qs, folders}, {u"files"_qs, files}});
    m_control->set_read_timeout(std::chrono::seconds(CPPHTTPLIB_READ_TIMEOUT_SECOND));
}

qint64 LocalService::compactChanges(const QString &email)
{
    return call("POST", "/_test/drive/compact", emailBody(email)).value(u"cursor").toInteger(-1);
}

void LocalService::failStorage(int count, int status)
{
    call("POST", "/_test/uploads/faults",
         {{u"fault"_qs, u"fail"_qs}, {u"count"_qs, count}, {u"status"_qs, status}});
}

LocalService::Leftovers LocalService::leftovers(const QString &email)
{
    const QJsonObject answer = call("GET", "/_test/uploads" + query(u"email"_qs, email));
    return {answer.value(u"uploads").toInt(-1), answer.value(u"parts").toInt(-1),
            answer.value(u"part_files").toInt(-1), answer.value(u"content_files").toInt(-1)};
}

std::chrono::nanoseconds LocalService::publishDriveChange(const QString &email)
{
    return std::chrono::nanoseconds(call("POST", "/_test/events/publish", emailBody(email))
                                        .value(u"published_ns")
                                        .toInteger(-1));
}

int LocalService::closeEventStreams(const QString &email)
{
    return call("POST", "/_test/events/close", emailBody(email)).value(u"closed").toInt(-1);
}

int LocalService::stallEventStreams(const QString &email)
{
    return call("POST", "/_test/events/stall", emailBody(email)).value(u"stalled").toInt(-1);
}

int LocalService::eventStreamLimit()
{
    return call("GET", "/_test/events/streams").value(u"limit").toInt(-1);
}

int LocalService::openEventStreams()
{
    return call("GET", "/_test/events/streams").value(u"open").toInt(-1);
}

void LocalService::setEventKeepAlive(std::chrono::milliseconds interval)
{
    call("POST", "/_test/events/settings", {{u"keepalive_ms"_qs, qint64(interval.count())}});
}

void LocalService::setEventDebounce(std::chrono::milliseconds debounce)
{
    call("POST", "/_test/events/settings", {{u"debounce_ms"_qs, qint64(debounce.count())}});
}

void LocalService::refuseEventStreams(int status, int count)
{
    injectFault("GET", u"/api/v1/jmap/events/web"_qs, {status}, count);
}

void LocalService::reset()
{
    call("POST", "/_test/reset");
    call("POST", "/_test/events/reset");
    call("POST", "/_test/uploads/reset");
}

} // namespace OrvelanNimbal::Testing
