// SPDX-License-Identifier: GPL-3.0-or-later
#include "LocalService.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

QByteArray json(const QJsonObject &object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QString LocalService::unavailableReason() {
    if (qEnvironmentVariableIsEmpty(serviceVariable))
        return QStringLiteral("NIMBAL_SERVICE is not set: run through ctest (or ./run test), or "
                              "point it at the nimbal-service binary");
    return {};
}

LocalService::LocalService() {
    const QString program = qEnvironmentVariable(serviceVariable);
    if (program.isEmpty() || !m_data.isValid()) {
        m_error = program.isEmpty() ? unavailableReason() : m_data.errorString();
        return;
    }
    m_process.setProgram(program);
    m_process.setArguments({QStringLiteral("serve"), QStringLiteral("--data"), m_data.path(),
                            QStringLiteral("--port"), QStringLiteral("0"),
                            QStringLiteral("--test-controls")});
    // The service's request log lands in the test's output, shown when a test fails.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that crashes takes its service along instead of leaving it to hold ctest's pipe.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.start();
    if (!m_process.waitForStarted(startTimeoutMilliseconds)) {
        m_error = m_process.errorString();
        return;
    }

    static const QRegularExpression ready(
        QStringLiteral("^nimbal-service listening on http://127\\.0\\.0\\.1:(\\d+)$"));
    QElapsedTimer waited;
    waited.start();
    while (!m_process.canReadLine()) {
        const int left = int(startTimeoutMilliseconds - waited.elapsed());
        if (left <= 0 || !m_process.waitForReadyRead(left)) {
            m_error = QStringLiteral("the service did not say it was listening");
            return;
        }
    }
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    const auto match = ready.match(line);
    if (!match.hasMatch()) {
        m_error = QStringLiteral("unexpected first line from the service: ") + line;
        return;
    }
    m_port = match.captured(1).toInt();
    m_control = std::make_unique<httplib::Client>("127.0.0.1", m_port);
}

LocalService::~LocalService() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(stopTimeoutMilliseconds)) {
        m_process.kill();
        m_process.waitForFinished(stopTimeoutMilliseconds);
    }
}

bool LocalService::stop()
{
    m_process.terminate();
    return m_process.waitForFinished(stopTimeoutMilliseconds)
           && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QUrl LocalService::apiBaseURL() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1").arg(m_port));
}

QUrl LocalService::eventsBaseURL() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}

QByteArray LocalService::call(const char *method, const std::string &path, const QByteArray &body) {
    if (!m_control)
        throw std::runtime_error("the local service is not running");
    httplib::Result result = [&] {
        const std::string content = body.toStdString();
        if (qstrcmp(method, "POST") == 0)
            return m_control->Post(path, content, "application/json");
        if (qstrcmp(method, "DELETE") == 0)
            return m_control->Delete(path);
        return m_control->Get(path);
    }();
    if (!result)
        throw std::runtime_error("test control " + path
                                 + " failed: " + httplib::to_string(result.error()));
    if (result->status < 200 || result->status > 299)
        throw std::runtime_error("test control " + path + " answered "
                                 + std::to_string(result->status) + ": " + result->body);
    return QByteArray::fromStdString(result->body);
}

void LocalService::addAccount(const Account &account) {
    QJsonObject body{
        {QStringLiteral("email"), account.email},
        {QStringLiteral("password"), account.password},
        {QStringLiteral("recovery_codes"), QJsonArray::fromStringList(account.recoveryCodes)},
        {QStringLiteral("passkey_only"), account.passkeyOnly},
        {QStringLiteral("quota_mb"), account.quotaMegabytes}};
    if (!account.totpSecret.isEmpty())
        body.insert(QStringLiteral("totp_secret"), account.totpSecret);
    call("POST", "/_test/accounts", json(body));
}

void LocalService::injectFault(const QByteArray &method, const QString &path, const Fault &fault,
                               int count) {
    QJsonObject headers;
    for (const auto &[name, value] : fault.headers)
        headers.insert(QString::fromUtf8(name), QString::fromUtf8(value));
    call("POST", "/_test/faults",
         json({{QStringLiteral("method"), QString::fromUtf8(method)},
               {QStringLiteral("path"), path},
               {QStringLiteral("count"), count},
               {QStringLiteral("status"), fault.status},
               {QStringLiteral("delay_ms"), fault.delayMilliseconds},
               {QStringLiteral("headers"), headers},
               {QStringLiteral("drop_connection"), fault.dropConnection},
               {QStringLiteral("body"), QString::fromUtf8(fault.body)}}));
}

int LocalService::requestCount(const QByteArray &method, const QString &path) {
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("method"), QString::fromUtf8(method));
    query.addQueryItem(QStringLiteral("path"), path);
    const QByteArray answer =
        call("GET", "/_test/requests?" + query.toString(QUrl::FullyEncoded).toStdString());
    return QJsonDocument::fromJson(answer).object().value(u"count").toInt(-1);
}

void LocalService::setLifetime(const char *key, qint64 seconds) {
    call("POST", "/_test/lifetimes", json({{QString::fromLatin1(key), seconds}}));
}

void LocalService::setAccessTokenLifetime(qint64 seconds) {
    setLifetime("access_token_seconds", seconds);
}

void LocalService::setPendingLoginLifetime(qint64 seconds) {
    setLifetime("pending_login_seconds", seconds);
}

void LocalService::expire(const char *kind) {
    QJsonObject body{{QStringLiteral("access_tokens"), false}};
    body.insert(QString::fromLatin1(kind), true);
    call("POST", "/_test/expire", json(body));
}

void LocalService::expireAccessTokens() {
    expire("access_tokens");
}

void LocalService::expirePendingLogins() {
    expire("pending_logins");
}

void LocalService::expireTrustedDevices() {
    expire("trusted_devices");
}

void LocalService::changePassword(const QString &email, const QString &password)
{
    call("POST", "/_test/accounts/password",
         json({{QStringLiteral("email"), email}, {QStringLiteral("password"), password}}));
}

std::chrono::nanoseconds LocalService::publishDriveChange(const QString &email)
{
    const QByteArray answer =
        call("POST", "/_test/events/publish", json({{QStringLiteral("email"), email}}));
    return std::chrono::nanoseconds(
        QJsonDocument::fromJson(answer).object().value(u"published_ns").toInteger(-1));
}

int LocalService::actOnEventStreams(const char *action, const QString &email,
                                    const char *resultKey)
{
    QJsonObject body;
    if (!email.isEmpty())
        body.insert(QStringLiteral("email"), email);
    const QByteArray answer = call("POST", std::string("/_test/events/") + action, json(body));
    return QJsonDocument::fromJson(answer).object().value(QLatin1String(resultKey)).toInt(-1);
}

int LocalService::closeEventStreams(const QString &email)
{
    return actOnEventStreams("close", email, "closed");
}

int LocalService::stallEventStreams(const QString &email)
{
    return actOnEventStreams("stall", email, "stalled");
}

QJsonObject LocalService::eventStreams(const QString &email)
{
    std::string path = "/_test/events/streams";
    if (!email.isEmpty()) {
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("email"), email);
        path += "?" + query.toString(QUrl::FullyEncoded).toStdString();
    }
    return QJsonDocument::fromJson(call("GET", path)).object();
}

int LocalService::openEventStreams(const QString &email)
{
    return eventStreams(email).value(u"open").toInt(-1);
}

int LocalService::eventStreamLimit()
{
    return eventStreams({}).value(u"limit").toInt(-1);
}

void LocalService::setEventSetting(const char *key, qint64 value)
{
    call("POST", "/_test/events/settings", json({{QString::fromLatin1(key), value}}));
}

void LocalService::setEventKeepAlive(std::chrono::milliseconds interval)
{
    setEventSetting("keepalive_ms", interval.count());
}

void LocalService::setEventDebounce(std::chrono::milliseconds debounce)
{
    setEventSetting("debounce_ms", debounce.count());
}

void LocalService::setEventStreamLimit(int limit)
{
    setEventSetting("max_streams", limit);
}

void LocalService::refuseEventStreams(int status, int count)
{
    injectFault("GET", QStringLiteral("/api/v1/jmap/events/web"), Fault::withStatus(status),
                count);
}

void LocalService::reset()
{
    call("POST", "/_test/reset");
    call("POST", "/_test/events/reset");
    call("POST", "/_test/uploads/reset");
}

QString LocalService::uniqueEmail(const QString &tag) {
    static std::atomic<int> counter = 0;
    return QStringLiteral("%1-%2-%3@nimbal.test")
        .arg(tag)
        .arg(++counter)
        .arg(QUuid::createUuid().toString(QUuid::Id128).left(8));
}

} // namespace OrvelanNimbal::Testing
