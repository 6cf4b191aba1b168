// SPDX-License-Identifier: GPL-3.0-or-later
// The request pipeline's retries against real failures of the local service: statuses, and a
// connection broken in the middle of an answer.
#include "AsyncTest.h"
#include "ServiceTest.h"
#include "errors/DriveError.h"
#include "models/DriveDTOs.h"
#include "net/CurlTransport.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

Q_DECLARE_METATYPE(OrvelanNimbal::Testing::LocalService::Fault)

namespace {

// The real transport, counting the requests handed to it: the attempts the client made, as
// opposed to what reached the service (the network layer may resend on its own a request
// whose connection broke before it was answered).
class CountingTransport final : public HTTPTransport {
public:
    QCoro::Task<HttpResult> send(HttpRequest request, CancellationToken cancel) override
    {
        ++sends;
        co_return co_await m_inner.send(std::move(request), std::move(cancel));
    }
    std::unique_ptr<HttpStream> open(HttpRequest request, CancellationToken cancel,
                                     qsizetype bufferBytes) override
    {
        ++sends;
        return m_inner.open(std::move(request), std::move(cancel), bufferBytes);
    }
    int sends = 0;

private:
    CurlTransport m_inner;
};

} // namespace

class TestRequestRetries : public ServiceTest {
    Q_OBJECT

private slots:
    void retriesTransientFailures_data();
    void retriesTransientFailures();
};

void TestRequestRetries::retriesTransientFailures_data()
{
    using Fault = LocalService::Fault;
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("faultCount");
    QTest::addColumn<int>("attempts"); // the client makes three at most
    QTest::addColumn<bool>("succeeds");

    QTest::newRow("503, 503, then 200") << Fault{503} << 2 << 3 << true;
    QTest::newRow("503 every time") << Fault{503} << 3 << 3 << false;
    QTest::newRow("connection dropped, then 200") << Fault{0, true} << 1 << 2 << true;
    // Every connection breaks, however many times the request goes out.
    QTest::newRow("connection dropped every time") << Fault{0, true} << 100 << 3 << false;
}

void TestRequestRetries::retriesTransientFailures()
{
    QFETCH(LocalService::Fault, fault);
    QFETCH(int, faultCount);
    QFETCH(int, attempts);
    QFETCH(bool, succeeds);
    auto transport = std::make_shared<CountingTransport>();
    auto client = newClient(systemClock(), transport);
    signIn(*client, addAccount(QStringLiteral("retries"), false, {}, false, 100));
    const int signInSends = transport->sends;
    const QString path = QStringLiteral("/api/v1/drive/quota");
    service().injectFault("GET", path, fault, faultCount);

    std::optional<DriveError> failure;
    try {
        const auto quota = runAsync(client->get<QuotaDTO>(QStringLiteral("/drive/quota")));
        QCOMPARE(quota.quotaMax, std::optional<double>(100));
    } catch (const DriveError &error) {
        failure = error;
    }

    QCOMPARE(failure.has_value(), !succeeds);
    if (failure) {
        QCOMPARE(failure->kind(),
                 fault.dropConnection ? DriveError::Kind::transport : DriveError::Kind::http);
        QCOMPARE(failure->status(), fault.status);
    }
    // A broken connection the network layer resent on its own may cost the client fewer
    // attempts than the service saw requests; everything else is exact.
    const int made = transport->sends - signInSends;
    const int received = service().requestCount("GET", path);
    if (fault.dropConnection && succeeds) {
        QVERIFY(made >= 1 && made <= attempts);
        QVERIFY(received >= attempts);
    } else {
        QCOMPARE(made, attempts);
        QVERIFY(fault.dropConnection ? received >= attempts : received == attempts);
    }
}

QTEST_GUILESS_MAIN(TestRequestRetries)
#include "test_request_retries.moc"
