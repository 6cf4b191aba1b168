// SPDX-License-Identifier: GPL-3.0-or-later
// The service's event stream as any client meets it, over bare sockets: who is let in, what
// the answer looks like, how many streams it carries while still answering requests, and how
// streams end when the service stops.
#include "AsyncTest.h"
#include "LocalService.h"
#include "RawEventStream.h"
#include "ServiceClient.h"
#include "models/DriveDTOs.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <httplib.h>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

const QString password = QStringLiteral("s3cret pass phrase");
const QByteArray streamTarget = "/api/v1/jmap/events/web?ping=30";
const QString quotaPath = QStringLiteral("/drive/quota");
const QString quotaServerPath = QStringLiteral("/api/v1/drive/quota");
const QString changedEvent = QStringLiteral("drive.changed");
constexpr auto keepAlive = 10ms;
// Ceiling for what should come within milliseconds.
constexpr int ceilingMilliseconds = 5000;

RawEventStream::Headers bearer(const QString &token)
{
    return {{"Authorization", "Bearer " + token.toUtf8()}};
}

QJsonObject jsonObject(const QByteArray &bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

} // namespace

class TestEventStreamService : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void refusesWithoutValidToken_data();
    void refusesWithoutValidToken();
    void streamsKeepAlivesAndChanges();
    void manyStreamsLeaveRequestsServed();
    void stopEndsOpenStreams();
    void controlsRefuseBadInput_data();
    void controlsRefuseBadInput();

private:
    // A new account signed in on a new client of `service`; the client.
    std::shared_ptr<ApiClient> signIn(LocalService &service, QString *email = nullptr);
    // Opens `count` streams and waits until each has the head of its answer.
    std::vector<std::unique_ptr<RawEventStream>> openStreams(int port, const QString &token,
                                                             int count);

    std::unique_ptr<LocalService> m_service;
    std::unique_ptr<KeychainScope> m_keychain;
};

void TestEventStreamService::initTestCase()
{
    for (const QString &reason :
         {LocalService::unavailableReason(), KeychainScope::unavailableReason()}) {
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
    }
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_keychain = std::make_unique<KeychainScope>();
}

void TestEventStreamService::init()
{
    m_service->setEventKeepAlive(keepAlive);
}

void TestEventStreamService::cleanup()
{
    m_service->reset();
}

std::shared_ptr<ApiClient> TestEventStreamService::signIn(LocalService &service, QString *email)
{
    auto client = makeServiceClient(service, *m_keychain);
    const QString address = LocalService::uniqueEmail(QStringLiteral("streams"));
    service.addAccount({address, password, {}, {}, false});
    runAsync(client->login(address, password));
    if (email)
        *email = address;
    return client;
}

std::vector<std::unique_ptr<RawEventStream>>
TestEventStreamService::openStreams(int port, const QString &token, int count)
{
    // All at once, as clients do when a stop of the service dropped them together.
    std::vector<std::unique_ptr<RawEventStream>> streams;
    for (int i = 0; i < count; ++i)
        streams.push_back(std::make_unique<RawEventStream>(port, streamTarget, bearer(token)));
    // The callers look at each status: one still at 0 shows which did not answer.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            return std::all_of(streams.begin(), streams.end(),
                               [](const auto &stream) { return stream->status() != 0; });
        },
        ceilingMilliseconds));
    return streams;
}

void TestEventStreamService::refusesWithoutValidToken_data()
{
    QTest::addColumn<QByteArray>("authorization"); // empty: no header at all
    QTest::addColumn<bool>("expiredToken");        // the header carries a token voided since

    QTest::newRow("no header") << QByteArray() << false;
    QTest::newRow("other scheme") << QByteArray("Basic YW5hOnB3") << false;
    QTest::newRow("unknown token") << QByteArray("Bearer not-a-token-of-ours") << false;
    QTest::newRow("empty token") << QByteArray("Bearer ") << false;
    QTest::newRow("expired token") << QByteArray() << true;
}

void TestEventStreamService::refusesWithoutValidToken()
{
    QFETCH(QByteArray, authorization);
    QFETCH(bool, expiredToken);

    RawEventStream::Headers headers;
    if (expiredToken) {
        const auto client = signIn(*m_service);
        headers = bearer(client->currentAccessToken().value_or(QString()));
        m_service->expireAccessTokens();
    } else if (!authorization.isEmpty()) {
        headers = {{"Authorization", authorization}};
    }

    RawEventStream stream(m_service->port(), streamTarget, headers);
    QTRY_VERIFY_WITH_TIMEOUT(stream.isComplete(), ceilingMilliseconds);

    QCOMPARE(stream.status(), 401);
    QCOMPARE(stream.header("WWW-Authenticate"), "Bearer");
    QCOMPARE(jsonObject(stream.body()).value(u"error").toString(), QStringLiteral("unauthorized"));
    QCOMPARE(m_service->openEventStreams(), 0);
}

void TestEventStreamService::streamsKeepAlivesAndChanges()
{
    QString email;
    const auto client = signIn(*m_service, &email);
    const QString token = client->currentAccessToken().value_or(QString());
    RawEventStream stream(m_service->port(), streamTarget, bearer(token));
    QTRY_COMPARE_WITH_TIMEOUT(stream.status(), 200, ceilingMilliseconds);

    QCOMPARE(stream.header("Content-Type"), "text/event-stream");
    QVERIFY(stream.header("Cache-Control").contains("no-cache"));
    QCOMPARE(stream.header("Transfer-Encoding"), "chunked");
    QVERIFY(stream.header("Content-Encoding").isEmpty()); // every byte must arrive at once
    // Keep-alives are comments: they keep the connection busy and make no event.
    QTRY_VERIFY_WITH_TIMEOUT(stream.body().count(": ping\n\n") >= 3, ceilingMilliseconds);
    QVERIFY(stream.events().empty());

    m_service->publishDriveChange(email);
    QTRY_COMPARE_WITH_TIMEOUT(stream.eventCount(changedEvent), 1, ceilingMilliseconds);
    QCOMPARE(stream.events().size(), size_t(1));
    // The data names the account, and nothing else: certainly not the token.
    const QJsonObject data = jsonObject(stream.events().front().data.toUtf8());
    QCOMPARE(data.keys(), QStringList{QStringLiteral("account")});
    QVERIFY(data.value(u"account").isDouble());
    QVERIFY(!stream.body().contains(token.toUtf8()));

    QCOMPARE(m_service->closeEventStreams(email), 1);
    QTRY_VERIFY_WITH_TIMEOUT(stream.isComplete(), ceilingMilliseconds);
}

void TestEventStreamService::manyStreamsLeaveRequestsServed()
{
    QString email;
    const auto client = signIn(*m_service, &email);
    const QString token = client->currentAccessToken().value_or(QString());
    const int limit = m_service->eventStreamLimit();
    QVERIFY2(limit >= 100, "the service must carry at least a hundred streams");
    constexpr int beyondLimit = 8;

    const auto streams = openStreams(m_service->port(), token, limit + beyondLimit);
    const auto withStatus = [&](int status) {
        return int(std::count_if(streams.begin(), streams.end(),
                                 [&](const auto &stream) { return stream->status() == status; }));
    };
    QCOMPARE(withStatus(200), limit);
    // The streams beyond the limit are told to come back later, so that the remaining
    // workers answer requests.
    QCOMPARE(withStatus(503), beyondLimit);
    for (const auto &stream : streams) {
        if (stream->status() == 503)
            QCOMPARE(stream->header("Retry-After"), "5");
    }
    QCOMPARE(m_service->openEventStreams(email), limit);

    // With every stream the service takes held open, requests are all answered, side by side.
    constexpr int requests = 24;
    const int answered = runAsync([](std::shared_ptr<ApiClient> client) -> QCoro::Task<int> {
        std::vector<QCoro::Task<QuotaDTO>> pending;
        for (int i = 0; i < requests; ++i)
            pending.push_back(client->get<QuotaDTO>(quotaPath));
        int count = 0;
        for (auto &request : pending) {
            co_await std::move(request);
            ++count;
        }
        co_return count;
    }(client));
    QCOMPARE(answered, requests);
    QCOMPARE(m_service->requestCount("GET", quotaServerPath), requests);

    // One change reaches every open stream.
    m_service->publishDriveChange(email);
    QTRY_COMPARE_WITH_TIMEOUT(
        std::count_if(streams.begin(), streams.end(),
                      [](const auto &stream) { return stream->eventCount(changedEvent) == 1; }),
        qsizetype(limit), ceilingMilliseconds);

    QCOMPARE(m_service->closeEventStreams(), limit);
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(streams.begin(), streams.end(),
                                         [](const auto &stream) { return stream->isComplete(); }),
                             ceilingMilliseconds);
    QTRY_COMPARE_WITH_TIMEOUT(m_service->openEventStreams(), 0, ceilingMilliseconds);
}

void TestEventStreamService::stopEndsOpenStreams()
{
    LocalService service; // this one is stopped
    QVERIFY2(service.isRunning(), qPrintable(service.errorString()));
    const auto client = signIn(service);
    const QString token = client->currentAccessToken().value_or(QString());
    const auto streams = openStreams(service.port(), token, 3);
    for (const auto &stream : streams)
        QCOMPARE(stream->status(), 200);

    QVERIFY(service.stop());

    // Each body ends properly, not cut off: the clients reconnect without suspecting a fault.
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(streams.begin(), streams.end(),
                                         [](const auto &stream) { return stream->isComplete(); }),
                             ceilingMilliseconds);
}

void TestEventStreamService::controlsRefuseBadInput_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");

    const QByteArray nobody = R"({"email":"nobody@nimbal.test"})";
    QTest::newRow("publish without address") << "/_test/events/publish" << QByteArray("{}") << 400;
    QTest::newRow("publish for nobody") << "/_test/events/publish" << nobody << 404;
    QTest::newRow("close, address not text")
        << "/_test/events/close" << QByteArray(R"({"email":42})") << 400;
    QTest::newRow("stall, body not an object")
        << "/_test/events/stall" << QByteArray("[1,2]") << 400;
    QTest::newRow("stall for nobody") << "/_test/events/stall" << nobody << 404;
    QTest::newRow("keep-alive of zero")
        << "/_test/events/settings" << QByteArray(R"({"keepalive_ms":0})") << 400;
    QTest::newRow("debounce beyond a second")
        << "/_test/events/settings" << QByteArray(R"({"debounce_ms":1001})") << 400;
    QTest::newRow("limit eating the reserved workers")
        << "/_test/events/settings" << QByteArray(R"({"max_streams":100000})") << 400;
    QTest::newRow("good limit, bad debounce")
        << "/_test/events/settings" << QByteArray(R"({"max_streams":3,"debounce_ms":-1})") << 400;
    QTest::newRow("password for nobody")
        << "/_test/accounts/password"
        << QByteArray(R"({"email":"nobody@nimbal.test","password":"x"})") << 404;
}

void TestEventStreamService::controlsRefuseBadInput()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);

    const int limitBefore = m_service->eventStreamLimit();
    httplib::Client control("127.0.0.1", m_service->port());
    const httplib::Result result =
        control.Post(path.toStdString(), body.toStdString(), "application/json");
    QVERIFY(result);
    QCOMPARE(result->status, status);
    // Said in words, for the person reading the test's log.
    QVERIFY(!jsonObject(QByteArray::fromStdString(result->body))
                 .value(u"message")
                 .toString()
                 .isEmpty());
    // A refused change is not half made.
    QCOMPARE(m_service->eventStreamLimit(), limitBefore);
}

QTEST_GUILESS_MAIN(TestEventStreamService)
#include "test_event_stream_service.moc"
