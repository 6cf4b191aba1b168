// SPDX-License-Identifier: GPL-3.0-or-later
// What the core writes to the log, every category at debug, through a sign-in with a second
// factor, a silent re-login, an upload in parts and a stream that reconnects: something of each,
// and none of the secrets that went over the wire.
#include "AsyncTest.h"
#include "OathTool.h"
#include "ServiceTest.h"
#include "events/DriveEventStream.h"
#include "net/CurlTransport.h"

#include <QCryptographicHash>
#include <QLoggingCategory>
#include <QMutex>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Every line logged while it lives, whatever its category or level.
class LogCapture {
public:
    LogCapture()
    {
        s_lines = &m_lines;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
        QLoggingCategory::setFilterRules(u"*.debug=true"_s);
    }
    ~LogCapture()
    {
        QLoggingCategory::setFilterRules({});
        qInstallMessageHandler(m_previous);
        s_lines = nullptr;
    }
    QString text() const
    {
        const QMutexLocker lock(&s_mutex);
        return m_lines.join(u'\n');
    }

private:
    static void handle(QtMsgType, const QMessageLogContext &context, const QString &message)
    {
        const QMutexLocker lock(&s_mutex);
        if (s_lines)
            s_lines->append(QString::fromUtf8(context.category) + u": "_s + message);
    }

    static inline QMutex s_mutex;
    static inline QStringList *s_lines = nullptr;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

// The real transport, noting every request as it went out: the secrets are what it carried.
class RecordingTransport final : public HTTPTransport {
public:
    QCoro::Task<HttpResult> send(HttpRequest request, CancellationToken cancel) override
    {
        sent.append(request);
        co_return co_await m_inner.send(std::move(request), std::move(cancel));
    }
    std::unique_ptr<HttpStream> open(HttpRequest request, CancellationToken cancel,
                                     qsizetype bufferBytes) override
    {
        sent.append(request);
        return m_inner.open(std::move(request), std::move(cancel), bufferBytes);
    }
    QList<HttpRequest> sent;

private:
    CurlTransport m_inner;
};

} // namespace

class TestCoreLogging : public ServiceTest {
    Q_OBJECT

private slots:
    void noSecretInTheLog();
};

void TestCoreLogging::noSecretInTheLog()
{
    const QString email = addAccount(u"journal"_s, true);
    auto transport = std::make_shared<RecordingTransport>();
    const auto client = newClient(systemClock(), transport);
    LogCapture log;
    QStringList secrets{password, email};

    // A sign-in through the second factor, the device remembered.
    const LoginOutcome outcome = runAsync(client->login(email, password));
    QVERIFY(outcome.challenge());
    secrets << outcome.challenge()->pendingToken;
    const QString code = totpCode(totpSecret);
    runAsync(client->verifyTwoFactor(*outcome.challenge(), TwoFactorMethod::totp, code, true,
                                     u"Poste de test"_s));
    secrets << *client->currentAccessToken();
    const std::optional<QString> deviceToken = runAsync(keychain().trustedDevices()->token(email));
    QVERIFY(deviceToken);
    secrets << *deviceToken;

    // A refused token, renewed silently.
    service().expireAccessTokens();
    const DriveAPI drive(client);
    runAsync(drive.quota());
    secrets << *client->currentAccessToken();

    // An upload in parts, through pre-signed addresses.
    QTemporaryDir folder;
    const QByteArray bytes(DriveAPI::directUploadLimit + 5, 'u');
    QFile file(folder.filePath(u"gros.bin"_s));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    const DriveAPI::LocalContent content{
        QUrl::fromLocalFile(file.fileName()), bytes.size(),
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()),
        u"application/octet-stream"_s};
    runAsync(drive.createFile(u"gros.bin"_s, std::nullopt, content, {}), 30s);

    // A stream that the service closes, and that comes back.
    CancellationSource cancel;
    int connections = 0;
    const DriveEventStream stream(client, service().eventsBaseURL(), 30, 2s);
    const auto onStatus = [&](DriveEventStream::Status status) -> QCoro::Task<> {
        if (status.kind() == DriveEventStream::Status::Kind::connected && ++connections == 2)
            cancel.cancel();
        else if (status.kind() == DriveEventStream::Status::Kind::connected)
            QTimer::singleShot(50, qApp, [&] { service().closeEventStreams(email); });
        co_return;
    };
    runAsync(stream.run([]() -> QCoro::Task<> { co_return; }, onStatus, cancel.token()), 10s);
    QCOMPARE(connections, 2);

    // Every secret the requests carried: tokens, and the queries of pre-signed addresses.
    for (const HttpRequest &request : std::as_const(transport->sent)) {
        if (const auto authorization = request.header("Authorization"))
            secrets << QString::fromUtf8(authorization->mid(7));
        if (!request.url.path().startsWith(u"/api/") && request.url.hasQuery())
            secrets << request.url.query();
    }
    QVERIFY(secrets.size() > 8);

    const QString written = log.text();
    for (const QString &expected :
         {u"net.orvelan.nimbal.sync.client: connexion de"_s, u"reconnexion silencieuse"_s,
          u"transfert : PUT"_s, u"net.orvelan.nimbal.sync.events: flux : connecté"_s,
          u"flux : nouvelle tentative"_s})
        QVERIFY2(written.contains(expected), qPrintable(expected));
    // Six digits could be part of a byte count or a duration: the code is looked for alone.
    QVERIFY(!written.contains(QRegularExpression(u"(^|\\D)"_s + code + u"(\\D|$)"_s)));
    for (const QString &secret : std::as_const(secrets))
        QVERIFY2(!secret.isEmpty() && !written.contains(secret),
                 qPrintable(u"a secret is in the log: "_s + secret.left(4) + u"…"_s));
}

QTEST_GUILESS_MAIN(TestCoreLogging)
#include "test_core_logging.moc"
