// SPDX-License-Identifier: GPL-3.0-or-later
// The request pipeline's retries against real failures of the local service: statuses, a
// connection broken in the middle of an answer, and requests that must go out only once.
#include "AsyncTest.h"
#include "DriveErrorTesting.h"
#include "LocalService.h"
#include "ServiceClient.h"
#include "client/MultipartForm.h"
#include "models/DriveDTOs.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

Q_DECLARE_METATYPE(OrvelanNimbal::Testing::LocalService::Fault)

namespace {

const QString password = QStringLiteral("retry-pass");
constexpr int maxAttempts = 3;

} // namespace

class TestRequestRetries : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void retriesTransientFailures_data();
    void retriesTransientFailures();
    void sendsMultipartOnce_data();
    void sendsMultipartOnce();

private:
    // A client signed in to a new account, whose sends `transport` counts.
    std::shared_ptr<ApiClient> signedInClient(std::shared_ptr<CountingTransport> transport = {});

    std::unique_ptr<LocalService> m_service;
    std::unique_ptr<KeychainScope> m_keychain;
};

void TestRequestRetries::initTestCase() {
    for (const QString &reason :
         {LocalService::unavailableReason(), KeychainScope::unavailableReason()}) {
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
    }
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_keychain = std::make_unique<KeychainScope>();
}

void TestRequestRetries::cleanup() {
    m_service->reset();
}

std::shared_ptr<ApiClient>
TestRequestRetries::signedInClient(std::shared_ptr<CountingTransport> transport) {
    const QString email = LocalService::uniqueEmail(QStringLiteral("retries"));
    m_service->addAccount({email, password, {}, {}, false, 100});
    auto client = makeServiceClient(*m_service, *m_keychain, maxAttempts,
                                    std::chrono::milliseconds(5), systemClock(), transport);
    if (!runAsync(client->login(email, password)).session())
        qFatal("the retry account should sign in without a second factor");
    return client;
}

void TestRequestRetries::retriesTransientFailures_data() {
    using Fault = LocalService::Fault;
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("faultCount");
    QTest::addColumn<int>("expectedSends");
    QTest::addColumn<int>("expectedErrorStatus"); // 0: success; -1: a transport error

    QTest::newRow("503, 503, then 200") << Fault::withStatus(503) << 2 << 3 << 0;
    QTest::newRow("503 every time") << Fault::withStatus(503) << 3 << 3 << 503;
    QTest::newRow("connection dropped, then 200") << Fault::droppedConnection() << 1 << 2 << 0;
    // Every connection breaks, however many times the request goes out.
    QTest::newRow("connection dropped every time") << Fault::droppedConnection() << 100 << 3 << -1;
    QTest::newRow("404 is not retried") << Fault::withStatus(404) << 3 << 1 << 404;
    QTest::newRow("429 is not retried") << Fault::withStatus(429) << 3 << 1 << 429;
}

void TestRequestRetries::retriesTransientFailures() {
    QFETCH(LocalService::Fault, fault);
    QFETCH(int, faultCount);
    QFETCH(int, expectedSends);
    QFETCH(int, expectedErrorStatus);
    auto transport = std::make_shared<CountingTransport>();
    auto client = signedInClient(transport);
    const int signInSends = transport->sends();
    const QString path = QStringLiteral("/api/v1/drive/quota");
    m_service->injectFault("GET", path, fault, faultCount);

    std::optional<DriveError> failure;
    try {
        const auto quota = runAsync(client->get<QuotaDTO>(QStringLiteral("/drive/quota")));
        QCOMPARE(quota.quotaMax, std::optional<double>(100));
    } catch (const DriveError &error) {
        failure = error;
    }

    // The network layer resends on its own, once in a while, a request whose connection broke
    // early; a broken connection may therefore cost the client fewer attempts than the
    // service sees requests. Everything else is exact.
    const int attempts = transport->sends() - signInSends;
    const int received = m_service->requestCount("GET", path);
    if (fault.dropConnection && expectedErrorStatus == 0) {
        QVERIFY(attempts >= 1 && attempts <= expectedSends);
        QVERIFY(received >= expectedSends);
    } else if (fault.dropConnection) {
        QCOMPARE(attempts, expectedSends);
        QVERIFY(received >= expectedSends);
    } else {
        QCOMPARE(attempts, expectedSends);
        QCOMPARE(received, expectedSends);
    }
    if (expectedErrorStatus == 0) {
        QVERIFY2(!failure, failure ? qPrintable(failure->errorDescription()) : "");
    } else if (expectedErrorStatus == -1) {
        QVERIFY(failure);
        QCOMPARE(failure->kind(), DriveError::Kind::transport);
    } else if (expectedErrorStatus == 404) {
        QCOMPARE(failure, std::optional(DriveError::notFound()));
    } else {
        QVERIFY(failure);
        QCOMPARE(failure->kind(), DriveError::Kind::http);
        QCOMPARE(failure->status(), expectedErrorStatus);
    }
}

void TestRequestRetries::sendsMultipartOnce_data() {
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::newRow("POST") << QByteArrayLiteral("POST") << QStringLiteral("/drive/upload/file");
    QTest::newRow("PUT") << QByteArrayLiteral("PUT") << QStringLiteral("/drive/files/7/content");
}

void TestRequestRetries::sendsMultipartOnce() {
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    auto client = signedInClient();
    m_service->injectFault(method, QStringLiteral("/api/v1") + path,
                           LocalService::Fault::withStatus(503), maxAttempts);
    MultipartForm form(QStringLiteral("nimbal-test-boundary"));
    form.addField(QStringLiteral("id_folder"), QStringLiteral("0"));
    form.addFile(QStringLiteral("file"), QStringLiteral("notes.txt"), QStringLiteral("text/plain"),
                 QByteArrayView("bonjour"));
    form.finalize();

    try {
        if (method == "POST")
            runAsync(client->postMultipart<UploadResponseDTO>(path, std::move(form)));
        else
            runAsync(client->putMultipart<ReplaceResponseDTO>(path, std::move(form)));
        QFAIL("the injected 503 did not fail the request");
    } catch (const DriveError &error) {
        QCOMPARE(error.kind(), DriveError::Kind::http);
        QCOMPARE(error.status(), 503);
    }
    QCOMPARE(m_service->requestCount(method, QStringLiteral("/api/v1") + path), 1);
}

QTEST_GUILESS_MAIN(TestRequestRetries)
#include "test_request_retries.moc"
