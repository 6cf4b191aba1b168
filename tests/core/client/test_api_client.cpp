// SPDX-License-Identifier: GPL-3.0-or-later
// The request pipeline: attempts and waits, the silent re-login on 401, cancellation, and the
// shape of the requests it builds.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "FakeTransport.h"
#include "ManualClock.h"

#include "auth/InMemoryStores.h"
#include "client/ApiClient.h"

#include <QJsonDocument>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;
using Reply = FakeTransport::Reply;

Q_DECLARE_METATYPE(std::optional<OrvelanNimbal::DriveError>)
Q_DECLARE_METATYPE(OrvelanNimbal::Testing::FakeTransport::Reply)

namespace {

const DriveSession alice{QStringLiteral("alice@orvelan.net"), QStringLiteral("old-token"),
                         QStringLiteral("secret")};

struct Harness {
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    std::shared_ptr<InMemorySessionStore> sessions = std::make_shared<InMemorySessionStore>();
    std::shared_ptr<InMemoryTrustedDeviceStore> devices =
        std::make_shared<InMemoryTrustedDeviceStore>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ApiClient> client;

    explicit Harness(int maxAttempts = 3, QUrl base = QUrl(QStringLiteral("https://api.test/api/v1")))
    {
        client = ApiClient::create(DriveConfiguration(base, maxAttempts, 400ms, 60),
                                   transport, sessions, devices, clock);
    }

    // Signs alice in through the store, as a restored launch would.
    void signIn(DriveSession session = alice)
    {
        runAsync(sessions->save(session));
        QVERIFY(runAsync(client->restoreSession()));
    }

    QByteArray authorization(qsizetype request) const
    {
        return transport->requests().at(request).header("Authorization").value_or(QByteArray());
    }
};

Reply loginAnswer(const QString &token)
{
    return Reply::ok(QStringLiteral(R"({"access_token":"%1"})").arg(token).toUtf8());
}

} // namespace

class TestApiClient : public QObject {
    Q_OBJECT

private slots:
    void retriesTransientFailures_data();
    void retriesTransientFailures();
    void doesNotRetryWhenNotAsked();
    void refusedTokenSignsInAgainAndResends();
    void refusedTokenWithSecondFactorForgetsTheSession();
    void refusedTokenWhileServiceUnreachableKeepsTheSession();
    void refusedPasswordClearsTheSession();
    void secondRefusalAfterReloginIsRetriedLikeAnyOtherFailure();
    void twoRequestsRefusedTogetherEachSignIn();
    void cancellationDuringTheWaitEndsTheRequest();
    void cancellationOfAHangingRequestAbortsIt();
    void aSessionChangedDuringTheWaitIsUsedNextAttempt();
    void requestShape_data();
    void requestShape();
    void urls_data();
    void urls();
    void invalidPathFailsAtOnce();
    void sendExternal();
    void sessionOperations();
};

void TestApiClient::retriesTransientFailures_data()
{
    QTest::addColumn<QList<Reply>>("replies");
    QTest::addColumn<int>("expectedSends");
    QTest::addColumn<QList<int>>("expectedWaitsMs");
    QTest::addColumn<std::optional<DriveError>>("expectedError"); // none: success

    const auto busy = Reply::withStatus(503, "busy");
    const auto down = Reply::error(DriveError::transport(QStringLiteral("connexion refusée")));
    QTest::newRow("503, 503, 200 succeeds")
        << QList<Reply>{busy, busy, Reply::ok()} << 3 << QList<int>{400, 800} << std::optional<DriveError>();
    QTest::newRow("503 three times fails with the third")
        << QList<Reply>{busy, busy, Reply::withStatus(503, "still")} << 3
        << QList<int>{400, 800}
        << std::optional(DriveError::http(503, QStringLiteral("still")));
    QTest::newRow("transport failures are retried")
        << QList<Reply>{down, down, Reply::ok()} << 3 << QList<int>{400, 800} << std::optional<DriveError>();
    QTest::newRow("transport failure to the end")
        << QList<Reply>{down, down, down} << 3 << QList<int>{400, 800}
        << std::optional(DriveError::transport(QStringLiteral("connexion refusée")));
    QTest::newRow("404 at once") << QList<Reply>{Reply::withStatus(404)} << 1 << QList<int>{}
                                 << std::optional(DriveError::notFound());
    QTest::newRow("409 at once") << QList<Reply>{Reply::withStatus(409)} << 1 << QList<int>{}
                                 << std::optional(DriveError::versionConflict());
    QTest::newRow("429 at once")
        << QList<Reply>{Reply::withStatus(429, "slow down")} << 1 << QList<int>{}
        << std::optional(DriveError::http(429, QStringLiteral("slow down")));
    QTest::newRow("500 then 404 stops")
        << QList<Reply>{Reply::withStatus(500), Reply::withStatus(404)} << 2 << QList<int>{400}
        << std::optional(DriveError::notFound());
}

void TestApiClient::retriesTransientFailures()
{
    QFETCH(QList<Reply>, replies);
    QFETCH(int, expectedSends);
    QFETCH(QList<int>, expectedWaitsMs);
    QFETCH(std::optional<DriveError>, expectedError);

    Harness harness;
    for (const auto &reply : replies)
        harness.transport->enqueue(reply);
    const auto send = [&] {
        return runAsync(harness.client->perform(QStringLiteral("/drive/quota"), "GET", {}, true));
    };
    if (expectedError)
        NIMBAL_EXPECT_DRIVE_ERROR(send(), *expectedError);
    else
        QCOMPARE(send().response.statusCode, 200);

    QCOMPARE(harness.transport->requests().size(), expectedSends);
    QList<int> waits;
    for (auto wait : harness.clock->sleeps())
        waits.append(int(wait.count()));
    QCOMPARE(waits, expectedWaitsMs);
}

void TestApiClient::doesNotRetryWhenNotAsked()
{
    {
        Harness harness;
        harness.transport->enqueue(Reply::withStatus(503));
        MultipartForm form(QStringLiteral("b"));
        form.finalize();
        NIMBAL_EXPECT_DRIVE_ERROR(
            runAsync(harness.client->postMultipart<DriveSession>(QStringLiteral("/drive/upload/file"),
                                                            form)),
            DriveError::http(503, {}));
        QCOMPARE(harness.transport->requests().size(), 1);
    }
    {
        Harness harness(1); // one attempt configured: a retried request is still sent once
        harness.transport->enqueue(Reply::withStatus(503));
        NIMBAL_EXPECT_DRIVE_ERROR(
            runAsync(harness.client->perform(QStringLiteral("x"), "GET", {}, true)),
            DriveError::http(503, {}));
        QCOMPARE(harness.transport->requests().size(), 1);
        QVERIFY(harness.clock->sleeps().isEmpty());
    }
}

void TestApiClient::refusedTokenSignsInAgainAndResends()
{
    Harness harness;
    harness.signIn();
    harness.transport->enqueue(Reply::withStatus(401));
    harness.transport->enqueue(loginAnswer(QStringLiteral("new-token")));
    harness.transport->enqueue(Reply::ok(R"({"quota_used":1})"));

    const HttpResult result =
        runAsync(harness.client->perform(QStringLiteral("/drive/quota"), "GET", {}, true));
    QCOMPARE(result.body, QByteArray(R"({"quota_used":1})"));

    const auto &requests = harness.transport->requests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(harness.authorization(0), QByteArray("Bearer old-token"));
    QCOMPARE(requests.at(1).url.path(), QStringLiteral("/api/v1/auth/login-jmap"));
    QVERIFY(!requests.at(1).header("Authorization")); // sign-in is never authenticated
    QCOMPARE(harness.authorization(2), QByteArray("Bearer new-token"));
    const DriveSession renewed{alice.account, QStringLiteral("new-token"), alice.password};
    QCOMPARE(runAsync(harness.sessions->load()), std::optional(renewed));
    QCOMPARE(harness.client->currentAccessToken(), std::optional(QStringLiteral("new-token")));
    QVERIFY(harness.clock->sleeps().isEmpty());
}

void TestApiClient::refusedTokenWithSecondFactorForgetsTheSession()
{
    Harness harness;
    harness.signIn();
    harness.transport->enqueue(Reply::withStatus(401));
    harness.transport->enqueue(
        Reply::ok(R"({"two_factor_required":true,"pending_token":"p","methods":["totp"]})"));

    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(harness.client->perform(QStringLiteral("/drive/quota"), "GET", {}, true)),
        DriveError::notAuthenticated());
    QCOMPARE(harness.transport->requests().size(), 2);
    QVERIFY(!harness.client->isAuthenticated());
    QCOMPARE(runAsync(harness.sessions->load()), std::nullopt);
}

void TestApiClient::refusedTokenWhileServiceUnreachableKeepsTheSession()
{
    Harness harness(1);
    harness.signIn();
    harness.transport->enqueue(Reply::withStatus(401));
    harness.transport->enqueue(Reply::error(DriveError::transport(QStringLiteral("hors ligne"))));

    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(harness.client->perform(QStringLiteral("/drive/quota"), "GET", {}, true)),
        DriveError::notAuthenticated());
    QCOMPARE(harness.client->session(), std::optional(alice));
    QCOMPARE(runAsync(harness.sessions->load()), std::optional(alice));
}

void TestApiClient::refusedPasswordClearsTheSession()
{
    Harness harness;
    harness.signIn();
    harness.transport->enqueue(Reply::error(DriveError::transport(QStringLiteral("hors ligne"))));
    QVERIFY(!runAsync(harness.client->refreshSession())); // unreachable: the session stays
    QCOMPARE(harness.client->session(), std::optional(alice));

    harness.transport->enqueue(Reply::withStatus(401)); // the stored password is refused
    QVERIFY(!runAsync(harness.client->refreshSession()));
    QVERIFY(!harness.client->isAuthenticated());
    QCOMPARE(runAsync(harness.sessions->load()), std::nullopt);
}

void TestApiClient::secondRefusalAfterReloginIsRetriedLikeAnyOtherFailure()
{
    // The resend's 401 is mapped, not re-logged-in again within the same attempt; 401 maps to
    // notAuthenticated, which is final.
    Harness harness;
    harness.signIn();
    harness.transport->enqueue(Reply::withStatus(401));
    harness.transport->enqueue(loginAnswer(QStringLiteral("t2")));
    harness.transport->enqueue(Reply::withStatus(401));
    NIMBAL_EXPECT_DRIVE_ERROR(
        runAsync(harness.client->perform(QStringLiteral("/drive/quota"), "GET", {}, true)),
        DriveError::notAuthenticated());
    QCOMPARE(harness.transport->requests().size(), 3);

    // A 503 after the re-login is retried on the usual rule, with the new token.
    harness.transport->enqueue(Reply::withStatus(401));
    harness.transport->enqueue(loginAnswer(QStringLiteral("t3")));
    harness.transport->enqueue(Reply::withStatus(503));
    harness.transport->enqueue(Reply::ok());
    QCOMPARE(runAsync(harness.client->perform(QStringLiteral("/x"), "GET", {}, true))
                 .response.statusCode,
             200);
    QCOMPARE(harness.authorization(harness.transport->requests().size() - 1),
             QByteArray("Bearer t3"));
}

void TestApiClient::twoRequestsRefusedTogetherEachSignIn()
{
    Harness harness;
    harness.signIn();
    int logins = 0;
    harness.transport->setHandler([&](const HttpRequest &request) {
        if (request.url.path().endsWith(u"/auth/login-jmap"))
            return loginAnswer(QStringLiteral("token-%1").arg(++logins));
        if (request.header("Authorization") == QByteArray("Bearer old-token"))
            return Reply::withStatus(401);
        return Reply::ok();
    });

    auto both = [](std::shared_ptr<ApiClient> client) -> QCoro::Task<> {
        auto first = client->perform(QStringLiteral("/a"), "GET", {}, true);
        auto second = client->perform(QStringLiteral("/b"), "GET", {}, true);
        co_await first;
        co_await second;
    };
    runAsync(both(harness.client));
    QCOMPARE(logins, 2);
    QCOMPARE(harness.client->currentAccessToken(), std::optional(QStringLiteral("token-2")));
}

void TestApiClient::cancellationDuringTheWaitEndsTheRequest()
{
    Harness harness;
    harness.clock->setAutomatic(false);
    harness.transport->enqueue(Reply::withStatus(503));
    CancellationSource source;
    auto request = [&]() -> QCoro::Task<> {
        co_await harness.client->perform(QStringLiteral("/x"), "GET", {}, true, source.token());
    };
    auto running = request();
    QTRY_COMPARE_WITH_TIMEOUT(harness.clock->waitingSleeps(), 1, 1000);
    source.cancel();
    QVERIFY_THROWS_EXCEPTION(OperationCancelled, runAsync(std::move(running)));
    QCOMPARE(harness.transport->requests().size(), 1); // no further attempt
}

void TestApiClient::cancellationOfAHangingRequestAbortsIt()
{
    Harness harness;
    harness.transport->enqueue(Reply::hang());
    CancellationSource source;
    auto running = harness.client->perform(QStringLiteral("/x"), "GET", {}, true, source.token());
    QTimer::singleShot(1, [&] { source.cancel(); });
    QVERIFY_THROWS_EXCEPTION(OperationCancelled, runAsync(std::move(running)));
    QCOMPARE(harness.transport->requests().size(), 1);
    QVERIFY(harness.clock->sleeps().isEmpty());
}

void TestApiClient::aSessionChangedDuringTheWaitIsUsedNextAttempt()
{
    Harness harness;
    harness.clock->setAutomatic(false);
    harness.signIn();
    harness.transport->enqueue(Reply::withStatus(502));
    harness.transport->enqueue(loginAnswer(QStringLiteral("fresh")));
    harness.transport->enqueue(Reply::ok());

    auto running = harness.client->perform(QStringLiteral("/x"), "GET", {}, true);
    QTRY_COMPARE_WITH_TIMEOUT(harness.clock->waitingSleeps(), 1, 1000);
    runAsync(harness.client->login(alice.account, alice.password));
    harness.clock->advance(400ms);
    runAsync(std::move(running));
    QCOMPARE(harness.authorization(0), QByteArray("Bearer old-token"));
    QCOMPARE(harness.authorization(2), QByteArray("Bearer fresh"));
}

void TestApiClient::requestShape_data()
{
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<int>("kind"); // 0 none, 1 JSON, 2 multipart
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("authorization");

    QTest::newRow("signed out, no body") << false << 0 << QByteArray() << QByteArray();
    QTest::newRow("signed in, no body") << true << 0 << QByteArray()
                                        << QByteArray("Bearer old-token");
    QTest::newRow("JSON") << true << 1 << QByteArray("application/json")
                          << QByteArray("Bearer old-token");
    QTest::newRow("multipart") << true << 2 << QByteArray("multipart/form-data; boundary=B-1")
                               << QByteArray("Bearer old-token");
}

void TestApiClient::requestShape()
{
    QFETCH(bool, signedIn);
    QFETCH(int, kind);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, authorization);

    Harness harness;
    if (signedIn)
        harness.signIn();
    harness.transport->enqueue(Reply::ok());
    RequestBody body;
    if (kind == 1)
        body = JsonBody{QByteArray(R"({"a":1})")};
    else if (kind == 2)
        body = MultipartBody{QByteArray("--B-1--\r\n"), QStringLiteral("B-1")};
    runAsync(harness.client->perform(QStringLiteral("/drive/folders"), "POST", body, true));

    const HttpRequest &sent = harness.transport->requests().constFirst();
    QCOMPARE(sent.method, QByteArray("POST"));
    QCOMPARE(sent.timeout, 60.0);
    QCOMPARE(sent.header("Authorization").value_or(QByteArray()), authorization);
    QCOMPARE(sent.header("Content-Type").value_or(QByteArray()), contentType);
    QCOMPARE(sent.body, kind == 0 ? QByteArray() : kind == 1 ? QByteArray(R"({"a":1})")
                                                             : QByteArray("--B-1--\r\n"));
}

void TestApiClient::urls_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("url");
    const QString base = QStringLiteral("https://api.test/api/v1");
    QTest::newRow("relative path") << base << QStringLiteral("drive/files")
                                   << QStringLiteral("https://api.test/api/v1/drive/files");
    QTest::newRow("absolute path") << base << QStringLiteral("/drive/files")
                                   << QStringLiteral("https://api.test/api/v1/drive/files");
    QTest::newRow("query kept as given")
        << base << QStringLiteral("/drive/thumbnails/presign?s3_key=a%20b%26c.jpg")
        << QStringLiteral("https://api.test/api/v1/drive/thumbnails/presign?s3_key=a%20b%26c.jpg");
    QTest::newRow("base ending in a slash is not trimmed")
        << QStringLiteral("https://api.test/api/v1/") << QStringLiteral("/x")
        << QStringLiteral("https://api.test/api/v1//x");
}

void TestApiClient::urls()
{
    QFETCH(QString, base);
    QFETCH(QString, path);
    QFETCH(QString, url);
    Harness harness(3, QUrl(base));
    QCOMPARE(harness.client->makeURL(path).toString(QUrl::FullyEncoded), url);
}

void TestApiClient::invalidPathFailsAtOnce()
{
    Harness harness;
    const QString path = QStringLiteral("/drive/files?name=a b");
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(harness.client->perform(path, "GET", {}, true)),
                              DriveError::transport(QStringLiteral("URL invalide : ") + path));
    QVERIFY(harness.transport->requests().isEmpty());
    QVERIFY(harness.clock->sleeps().isEmpty());
}

void TestApiClient::sendExternal()
{
    Harness harness;
    harness.signIn();
    HttpRequest put;
    put.url = QUrl(QStringLiteral("http://storage.test/part?sig=x"));
    put.method = "PUT";
    put.body = "part bytes";
    put.timeout = 300;

    // Sent exactly as given, retried on 5xx, and a refusal quotes 300 bytes of its body.
    harness.transport->enqueue(Reply::withStatus(500));
    harness.transport->enqueue(Reply::withStatus(403, QByteArray(400, 'x')));
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(harness.client->sendExternal(put)),
                              DriveError::http(403, QString(300, u'x')));
    QCOMPARE(harness.transport->requests().size(), 2);
    const HttpRequest &sent = harness.transport->requests().constFirst();
    QCOMPARE(sent.url, put.url);
    QCOMPARE(sent.timeout, 300.0);
    QVERIFY(!sent.header("Authorization"));
    QVERIFY(!sent.header("Content-Type"));

    // A 401 from storage is an answer like any other: no re-login.
    harness.transport->enqueue(Reply::withStatus(401, "expired"));
    NIMBAL_EXPECT_DRIVE_ERROR(runAsync(harness.client->sendExternal(put)),
                              DriveError::http(401, QStringLiteral("expired")));
    QCOMPARE(harness.transport->requests().size(), 3);

    harness.transport->enqueue(
        Reply::withStatus(200, {}, {{QByteArray("etag"), QByteArray("\"abc\"")}}));
    const HttpResult stored = runAsync(harness.client->sendExternal(put));
    QCOMPARE(stored.response.header("ETag"), std::optional(QByteArray("\"abc\"")));
}

void TestApiClient::sessionOperations()
{
    Harness harness;
    QVERIFY(!harness.client->isAuthenticated());
    QCOMPARE(harness.client->account(), std::nullopt);
    QVERIFY(!runAsync(harness.client->restoreSession()));
    QVERIFY(!runAsync(harness.client->refreshSession())); // nothing held: nothing sent
    QVERIFY(harness.transport->requests().isEmpty());

    harness.signIn();
    QCOMPARE(harness.client->account(), std::optional(alice.account));
    QCOMPARE(harness.client->currentAccessToken(), std::optional(alice.accessToken));

    runAsync(harness.devices->save(QStringLiteral("device"), alice.account));
    runAsync(harness.client->logout());
    QVERIFY(!harness.client->isAuthenticated());
    QCOMPARE(runAsync(harness.sessions->load()), std::nullopt);
    QCOMPARE(runAsync(harness.devices->token(alice.account)),
             std::optional(QStringLiteral("device"))); // trusted devices stay
}

QTEST_GUILESS_MAIN(TestApiClient)
#include "test_api_client.moc"
