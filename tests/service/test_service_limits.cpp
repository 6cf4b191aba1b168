// SPDX-License-Identifier: GPL-3.0-or-later
// The running service against bodies it must not read: from strangers, of the wrong kind, or
// larger than their route takes. Each is refused from its head alone while the client goes on
// sending half a gigabyte, and the service's resident memory stays where it was.
#include "LocalService.h"
#include "RawHttp.h"

#include <QTest>

#include <thread>

using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

constexpr long long hugeBody = 512ll << 20;
// Far below the half gigabyte a body read whole would take, far above a worker's buffers.
constexpr long mostGrowthKilobytes = 48 * 1024;

const std::string password = "limites-du-service";

// Sends `length` bytes of body after the head, from another thread, until they are all out or
// the service closes the connection; the status of the answer the service gave meanwhile.
int statusOfHugeRequest(RawConnection &connection, const std::string &head, long long length)
{
    std::thread sender([&connection, head, length] {
        if (!connection.send(head))
            return;
        const std::string piece(1 << 20, 'x');
        for (long long sent = 0; sent < length; sent += qsizetype(piece.size())) {
            if (!connection.send(piece))
                return;
        }
    });
    const int status = connection.read(20s, true).status;
    sender.join();
    return status;
}

} // namespace

class TestServiceLimits : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void refusesBodiesFromTheirHead_data();
    void refusesBodiesFromTheirHead();
    void residentMemoryStaysBounded();

private:
    std::unique_ptr<LocalService> m_service;
    std::string m_token;
    long m_residentAtStart = 0;
};

void TestServiceLimits::initTestCase()
{
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    const QString email = addAccount(*m_service, u"limits"_qs, password);
    m_token = signIn(m_service->port(), email.toStdString(), password);
    QVERIFY(!m_token.empty());
    m_residentAtStart = peakResidentKilobytes(m_service->processId());
    QVERIFY(m_residentAtStart > 0);
}

void TestServiceLimits::refusesBodiesFromTheirHead_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<bool>("chunked"); // otherwise a Content-Length of half a gigabyte
    QTest::addColumn<bool>("expectContinue");
    QTest::addColumn<int>("status");

    const QByteArray json = "application/json";
    const QByteArray form = "multipart/form-data; boundary=b";
    QTest::newRow("a stranger's JSON")
        << "POST"_qba
        << "/api/v1/drive/folders"_qba << false << json << false << false << 401;
    QTest::newRow("a stranger's upload")
        << "POST"_qba
        << "/api/v1/drive/upload/file"_qba << false << form << false << false << 401;
    QTest::newRow("a stranger's upload, asking first")
        << "POST"_qba
        << "/api/v1/drive/upload/file"_qba << false << form << false << true << 401;
    QTest::newRow("a part without its signature")
        << "PUT"_qba
        << "/storage/uploads/0123456789abcdef0123456789abcdef/1"_qba << false
        << "application/octet-stream"_qba << false << false << 403;
    QTest::newRow("a sign-in of half a gigabyte")
        << "POST"_qba
        << "/api/v1/auth/login-jmap"_qba << false << json << false << false << 413;
    QTest::newRow("JSON beyond its route")
        << "POST"_qba
        << "/api/v1/drive/folders"_qba << true << json << false << false << 413;
    QTest::newRow("JSON without its length")
        << "POST"_qba
        << "/api/v1/drive/folders"_qba << true << json << true << false << 411;
    QTest::newRow("JSON that says it is not")
        << "POST"_qba
        << "/api/v1/drive/move"_qba << true << "text/plain"_qba << false << false << 415;
    QTest::newRow("JSON in another charset")
        << "PUT"_qba
        << "/api/v1/drive/files/1/rename"_qba << true << "application/json; charset=latin1"_qba
        << false << false << 415;
    QTest::newRow("a form sent as JSON")
        << "POST"_qba
        << "/api/v1/drive/upload/file"_qba << true << json << false << false << 415;
    QTest::newRow("an upload beyond the direct limit")
        << "POST"_qba
        << "/api/v1/drive/upload/file"_qba << true << form << false << false << 413;
    QTest::newRow("a body where none is taken")
        << "GET"_qba
        << "/api/v1/drive/quota"_qba << true << json << false << false << 413;
}

void TestServiceLimits::refusesBodiesFromTheirHead()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(bool, signedIn);
    QFETCH(QByteArray, contentType);
    QFETCH(bool, chunked);
    QFETCH(bool, expectContinue);
    QFETCH(int, status);
    std::map<std::string, std::string> headers{{"Content-Type", contentType.toStdString()}};
    if (signedIn)
        headers["Authorization"] = "Bearer " + m_token;
    if (chunked)
        headers["Transfer-Encoding"] = "chunked";
    else
        headers["Content-Length"] = std::to_string(hugeBody);
    if (expectContinue)
        headers["Expect"] = "100-continue";
    RawConnection connection(m_service->port());
    const std::string head = request(method.toStdString(), target.toStdString(), headers);

    // A client that asks first is told before it sends anything.
    const int answered = expectContinue ? (connection.send(head), connection.read(10s, true).status)
                                        : statusOfHugeRequest(connection, head, hugeBody);

    QCOMPARE(answered, status);
    // The connection ends with the refusal: the rest of the body is never taken for a request.
    QVERIFY(connection.closedWithin(5s));
}

void TestServiceLimits::residentMemoryStaysBounded()
{
    const long peak = peakResidentKilobytes(m_service->processId());
    qInfo("service resident peak: %ld kB at start, %ld kB after the refused bodies",
          m_residentAtStart, peak);
    QVERIFY2(peak - m_residentAtStart < mostGrowthKilobytes,
             qPrintable(QStringLiteral("grew by %1 kB").arg(peak - m_residentAtStart)));
}

QTEST_GUILESS_MAIN(TestServiceLimits)
#include "test_service_limits.moc"
