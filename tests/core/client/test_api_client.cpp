// SPDX-License-Identifier: GPL-3.0-or-later
// The request pipeline: attempts and waits, the silent re-login on 401, cancellation, and the
// shape of the requests it builds.
#include "ClientHarness.h"
#include "DriveErrorTesting.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Reply = FakeTransport::Reply;
using Waits = QList<std::chrono::milliseconds>;

Q_DECLARE_METATYPE(std::optional<OrvelanNimbal::DriveError>)
Q_DECLARE_METATYPE(OrvelanNimbal::Testing::FakeTransport::Reply)
Q_DECLARE_METATYPE(OrvelanNimbal::RequestBody)
Q_DECLARE_METATYPE(Waits)

namespace {

const DriveSession alice{u"alice@orvelan.net"_s, u"old"_s, u"secret"_s};

Reply loginAnswer(const QString &token)
{
    return Reply::ok(R"({"access_token":")" + token.toUtf8() + R"("})");
}

} // namespace

class TestApiClient : public QObject {
    Q_OBJECT

private slots:
    void pipeline_data();
    void pipeline();
    void requestsRefusedTogetherShareOneSignIn();
    void cancellation_data();
    void cancellation();
    void requestShape_data();
    void requestShape();
    void urls_data();
    void urls();
    void sendExternal();
    void logoutKeepsTrustedDevices();
};

void TestApiClient::pipeline_data()
{
    QTest::addColumn<QList<Reply>>("replies");
    QTest::addColumn<QList<QByteArray>>("authorizations"); // of each request sent, in order
    QTest::addColumn<Waits>("waits");
    QTest::addColumn<std::optional<DriveError>>("error"); // none: a 200 comes back
    QTest::addColumn<QString>("heldToken");               // empty: the session is gone
    QTest::addColumn<int>("maxAttempts");
    QTest::addColumn<bool>("multipart"); // sent by postMultipart rather than perform
    const auto row = [](const char *tag, QList<Reply> replies, QList<QByteArray> authorizations,
                        Waits waits, std::optional<DriveError> error, QString held = u"old"_s,
                        int maxAttempts = 3, bool multipart = false) {
        QTest::newRow(tag) << replies << authorizations << waits << error << held << maxAttempts
                           << multipart;
    };
    const Reply ok = Reply::ok(), busy = Reply::withStatus(503), refused = Reply::withStatus(401);
    const Reply down = Reply::error(DriveError::transport(u"hors ligne"_s));
    const Reply challenge =
        Reply::ok(R"({"two_factor_required":true,"pending_token":"p","methods":["totp"]})");
    const QByteArray o = "Bearer old", n = "Bearer new", none; // sign-in is never authenticated
    const auto notAuthenticated = DriveError::notAuthenticated();

    row("503, 503, 200", {busy, busy, ok}, {o, o, o}, {400ms, 800ms}, {});
    row("503 to the end", {busy, busy, Reply::withStatus(503, "still")}, {o, o, o}, {400ms, 800ms},
        DriveError::http(503, u"still"_s));
    row("transport failure, then 200", {down, ok}, {o, o}, {400ms}, {});
    row("one attempt configured", {busy}, {o}, {}, DriveError::http(503, {}), u"old"_s, 1);
    row("multipart never resent", {busy}, {o}, {}, DriveError::http(503, {}), u"old"_s, 3, true);
    row("4xx at once", {Reply::withStatus(429, "slow")}, {o}, {}, DriveError::http(429, u"slow"_s));
    row("401: re-login, one resend", {refused, loginAnswer(u"new"_s), ok}, {o, none, n}, {}, {},
        u"new"_s);
    row("401 again after the re-login", {refused, loginAnswer(u"new"_s), refused}, {o, none, n}, {},
        notAuthenticated, u"new"_s);
    row("401, re-login, then 503 retried with the new token",
        {refused, loginAnswer(u"new"_s), busy, ok}, {o, none, n, n}, {400ms}, {}, u"new"_s);
    row("re-login needs a second factor: session forgotten", {refused, challenge}, {o, none}, {},
        notAuthenticated, {});
    row("re-login password refused: session forgotten", {refused, refused}, {o, none}, {},
        notAuthenticated, {});
    row("re-login unreachable: session kept", {refused, down}, {o, none}, {}, notAuthenticated);
}

void TestApiClient::pipeline()
{
    QFETCH(QList<Reply>, replies);
    QFETCH(QList<QByteArray>, authorizations);
    QFETCH(Waits, waits);
    QFETCH(std::optional<DriveError>, error);
    QFETCH(QString, heldToken);
    QFETCH(int, maxAttempts);
    QFETCH(bool, multipart);

    ClientHarness harness(maxAttempts);
    harness.signIn(alice);
    for (const Reply &reply : replies)
        harness.transport->enqueue(reply);
    const auto send = [&] {
        if (multipart)
            runAsync(harness.client->postMultipart<DriveSession>(u"/x"_s, MultipartForm(u"b"_s)));
        return runAsync(harness.client->perform(u"/drive/quota"_s, "GET", {}, true));
    };
    if (error)
        NIMBAL_EXPECT_DRIVE_ERROR(send(), *error);
    else
        QCOMPARE(send().response.statusCode, 200);

    QList<QByteArray> sent;
    for (const HttpRequest &request : harness.transport->requests())
        sent.append(request.header("Authorization").value_or(QByteArray()));
    QCOMPARE(sent, authorizations);
    QCOMPARE(harness.clock->sleeps(), waits);
    const auto session =
        heldToken.isEmpty() ? std::nullopt
                            : std::optional(DriveSession{alice.account, heldToken, alice.password});
    QCOMPARE(harness.client->session(), session);
    QCOMPARE(harness.stored(), session);
}

void TestApiClient::requestsRefusedTogetherShareOneSignIn()
{
    // Five requests refused at once, the stream among them: one sign-in, then each resends
    // once. One of them gives up while the sign-in runs: the others still get it.
    ClientHarness harness;
    harness.signIn(alice);
    int logins = 0;
    harness.transport->setHandler([&](const HttpRequest &request) {
        if (request.url.path().endsWith(u"/auth/login-jmap"))
            return loginAnswer(u"token-%1"_s.arg(++logins));
        return request.header("Authorization") == "Bearer old" ? Reply::withStatus(401)
                                                               : Reply::ok();
    });
    CancellationSource leaving;
    auto together = [&](std::shared_ptr<ApiClient> client) -> QCoro::Task<int> {
        std::vector<QCoro::Task<HttpResult>> requests;
        for (int i = 0; i < 4; ++i)
            requests.push_back(client->perform(u"/r%1"_s.arg(i), "GET", {}, true));
        auto gone = client->perform(u"/gone"_s, "GET", {}, true, leaving.token());
        auto stream = client->reauthenticate(); // as the event stream does after a 401
        int succeeded = 0;
        for (auto &request : requests) {
            const HttpResult result = co_await request;
            succeeded += int(result.response.isSuccess());
        }
        try {
            co_await gone;
        } catch (const OperationCancelled &) {
            ++succeeded; // it left as asked
        }
        const bool renewed = co_await stream;
        succeeded += int(renewed);
        co_return succeeded;
    };
    QTimer::singleShot(0, qApp, [&] { leaving.cancel(); });
    QCOMPARE(runAsync(together(harness.client)), 6);
    QCOMPARE(logins, 1);
    QCOMPARE(harness.client->currentAccessToken(), std::optional(u"token-1"_s));
    // Each resource request twice at most: refused, then resent with the new token.
    for (int i = 0; i < 4; ++i) {
        const auto sent =
            std::count_if(harness.transport->requests().begin(),
                          harness.transport->requests().end(), [&](const HttpRequest &request) {
                              return request.url.path().endsWith(u"/r%1"_s.arg(i));
                          });
        QCOMPARE(sent, 2);
    }

    // Later, a new refusal signs in again: the shared sign-in was for that moment only.
    harness.transport->setHandler([&](const HttpRequest &request) {
        if (request.url.path().endsWith(u"/auth/login-jmap"))
            return loginAnswer(u"token-%1"_s.arg(++logins));
        return request.header("Authorization") == "Bearer token-1" ? Reply::withStatus(401)
                                                                   : Reply::ok();
    });
    runAsync(harness.client->perform(u"/later"_s, "GET", {}, true));
    QCOMPARE(logins, 2);
}

void TestApiClient::cancellation_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<Waits>("waits");
    QTest::newRow("during the wait after a 503") << Reply::withStatus(503) << Waits{400ms};
    QTest::newRow("a request that never answers") << Reply::hang() << Waits{};
}

void TestApiClient::cancellation()
{
    QFETCH(Reply, reply);
    QFETCH(Waits, waits);

    ClientHarness harness;
    harness.clock->setAutomatic(false);
    harness.transport->enqueue(reply);
    CancellationSource source;
    auto running = harness.client->perform(u"/x"_s, "GET", {}, true, source.token());
    QTRY_VERIFY_WITH_TIMEOUT(harness.clock->sleeps() == waits, 1000);
    source.cancel();
    QVERIFY_THROWS_EXCEPTION(OperationCancelled, runAsync(std::move(running)));
    QCOMPARE(harness.transport->requests().size(), 1); // no further attempt
}

void TestApiClient::requestShape_data()
{
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<RequestBody>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("signed out, JSON")
        << false << RequestBody(JsonBody{R"({"a":1})"}) << "application/json"_ba
        << R"({"a":1})"_ba;
    QTest::newRow("signed in, no body") << true << RequestBody() << QByteArray() << QByteArray();
    QTest::newRow("signed in, multipart")
        << true << RequestBody(MultipartBody{"--B-1--\r\n", u"B-1"_s})
        << "multipart/form-data; boundary=B-1"_ba
        << "--B-1--\r\n"_ba;
}

void TestApiClient::requestShape()
{
    QFETCH(bool, signedIn);
    QFETCH(RequestBody, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, bytes);

    ClientHarness harness;
    if (signedIn)
        harness.signIn(alice);
    harness.transport->enqueue(Reply::ok());
    runAsync(harness.client->perform(u"/drive/folders"_s, "POST", body, true));
    const HttpRequest &sent = harness.request(0);
    QCOMPARE(sent.method, "POST"_ba);
    QCOMPARE(sent.timeout, 60.0);
    QCOMPARE(sent.header("Authorization"),
             signedIn ? std::optional("Bearer old"_ba) : std::nullopt);
    QCOMPARE(sent.header("Content-Type").value_or(QByteArray()), contentType);
    QCOMPARE(sent.body.toByteArray(), bytes);
}

void TestApiClient::urls_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("url"); // empty: not a URL
    const QString base = u"https://api.test/api/v1"_s;
    QTest::newRow("relative path") << base << u"drive/files"_s << base + u"/drive/files"_s;
    QTest::newRow("absolute path") << base << u"/drive/files"_s << base + u"/drive/files"_s;
    QTest::newRow("query kept as given")
        << base << u"/presign?s3_key=a%20b%26c.jpg"_s << base + u"/presign?s3_key=a%20b%26c.jpg"_s;
    QTest::newRow("base ending in a slash is not trimmed")
        << base + u'/' << u"/x"_s << base + u"//x"_s;
    QTest::newRow("a space: fails before sending") << base << u"/files?name=a b"_s << QString();
}

void TestApiClient::urls()
{
    QFETCH(QString, base);
    QFETCH(QString, path);
    QFETCH(QString, url);
    ClientHarness harness(3, QUrl(base));
    if (!url.isEmpty()) {
        QCOMPARE(harness.client->makeURL(path).toString(QUrl::FullyEncoded), url);
        return;
    }
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(harness.client->perform(path, "GET", {}, true)),
                              DriveError::transport(u"URL invalide : "_s + path));
    QVERIFY(harness.transport->requests().isEmpty());
    QVERIFY(harness.clock->sleeps().isEmpty());
}

void TestApiClient::sendExternal()
{
    ClientHarness harness;
    harness.signIn(alice);
    const HttpRequest put{QUrl(u"http://storage.test/part?sig=x"_s), "PUT", {}, "part", 300};

    // Sent exactly as given, retried on 5xx, and a refusal quotes 300 bytes of its body.
    harness.transport->enqueue(Reply::withStatus(500));
    harness.transport->enqueue(Reply::withStatus(403, QByteArray(400, 'x')));
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(harness.client->sendExternal(put)),
                              DriveError::http(403, QString(300, u'x')));
    QCOMPARE(harness.transport->requests().size(), 2);
    const HttpRequest &sent = harness.request(1);
    QCOMPARE(sent.url, put.url);
    QCOMPARE(sent.method, put.method);
    QCOMPARE(sent.headers, HttpHeaders()); // no token, no content type
    QCOMPARE(sent.body.toByteArray(), put.body.toByteArray());
    QCOMPARE(sent.timeout, 300.0);

    // A 401 from storage is an answer like any other: no re-login.
    harness.transport->enqueue(Reply::withStatus(401, "expired"));
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(harness.client->sendExternal(put)),
                              DriveError::http(401, u"expired"_s));
    QCOMPARE(harness.transport->requests().size(), 3);
}

void TestApiClient::logoutKeepsTrustedDevices()
{
    ClientHarness harness;
    QVERIFY(!runAsync(harness.client->refreshSession())); // nothing held: nothing sent
    QVERIFY(harness.transport->requests().isEmpty());
    harness.signIn(alice);
    runAsync(harness.devices->save(u"device"_s, alice.account));
    runAsync(harness.client->logout());
    QVERIFY(!harness.client->isAuthenticated());
    QCOMPARE(harness.stored(), std::nullopt);
    QCOMPARE(runAsync(harness.devices->token(alice.account)), std::optional(u"device"_s));
}

QTEST_GUILESS_MAIN(TestApiClient)
#include "test_api_client.moc"
