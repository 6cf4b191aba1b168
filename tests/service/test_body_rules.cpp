// SPDX-License-Identifier: GPL-3.0-or-later
// What the server decides from a request's head alone, before a byte of its body is read.
#include "foundation/Database.h"
#include "foundation/DataDirectory.h"
#include "foundation/JsonHttp.h"
#include "http/BodyRules.h"
#include "ServiceContext.h"
#include "ServiceSchema.h"

#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal::Service;

namespace {

// Stands in for a token check: a request that says it is a stranger is refused.
bool refuseStrangers(ServiceContext &, const httplib::Request &request, httplib::Response &response)
{
    if (!request.has_header("X-Stranger"))
        return true;
    sendError(response, 401, QStringLiteral("unauthorized"));
    return false;
}

} // namespace

class TestBodyRules : public QObject {
    Q_OBJECT

private slots:
    void admitsFromTheHead_data();
    void admitsFromTheHead();
};

void TestBodyRules::admitsFromTheHead_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArrayList>("headers"); // "Name: value"
    QTest::addColumn<int>("status");             // 0: admitted
    const QByteArray json = "Content-Type: application/json";
    const QByteArray small = "Content-Length: 10";

    QTest::newRow("no body anywhere") << "GET"_qba
                                      << "/nowhere"_qba << QByteArrayList{} << 0;
    QTest::newRow("an empty body anywhere")
        << "POST"_qba
        << "/nowhere"_qba << QByteArrayList{"Content-Length: 0"} << 0;
    QTest::newRow("JSON") << "POST"_qba
                          << "/items"_qba << QByteArrayList{json, small} << 0;
    QTest::newRow("JSON in UTF-8, said so")
        << "POST"_qba
        << "/items"_qba
        << QByteArrayList{"Content-Type: Application/JSON; charset=\"UTF-8\"", small} << 0;
    QTest::newRow("JSON in another charset")
        << "POST"_qba
        << "/items"_qba
        << QByteArrayList{"Content-Type: application/json; charset=iso-8859-1", small} << 415;
    QTest::newRow("JSON without a type") << "POST"_qba
                                         << "/items"_qba << QByteArrayList{small} << 415;
    QTest::newRow("JSON up to its limit")
        << "POST"_qba
        << "/items"_qba << QByteArrayList{json, "Content-Length: 100"} << 0;
    QTest::newRow("JSON beyond its limit")
        << "POST"_qba
        << "/items"_qba << QByteArrayList{json, "Content-Length: 101"} << 413;
    QTest::newRow("JSON in chunks")
        << "POST"_qba
        << "/items"_qba << QByteArrayList{json, "Transfer-Encoding: chunked"} << 411;
    QTest::newRow("a length and chunks")
        << "POST"_qba
        << "/items"_qba << QByteArrayList{json, small, "Transfer-Encoding: chunked"} << 400;
    QTest::newRow("another transfer coding")
        << "PUT"_qba
        << "/files/1"_qba << QByteArrayList{"Transfer-Encoding: gzip"} << 400;
    QTest::newRow("a signed length")
        << "POST"_qba
        << "/items"_qba << QByteArrayList{json, "Content-Length: +10"} << 400;
    QTest::newRow("two lengths") << "POST"_qba
                                 << "/items"_qba
                                 << QByteArrayList{json, small, "Content-Length: 10"} << 400;
    QTest::newRow("a body where none is taken")
        << "GET"_qba
        << "/items"_qba << QByteArrayList{json, small} << 413;
    QTest::newRow("a stranger, before anything else")
        << "POST"_qba
        << "/items"_qba << QByteArrayList{"X-Stranger: 1", "Content-Length: 999999999999"} << 401;
    QTest::newRow("bytes of any kind, in chunks")
        << "PUT"_qba
        << "/files/7"_qba << QByteArrayList{"Transfer-Encoding: chunked"} << 0;
    QTest::newRow("a form") << "POST"_qba
                            << "/forms"_qba
                            << QByteArrayList{"Content-Type: multipart/form-data; boundary=x",
                                              small}
                            << 0;
    QTest::newRow("a form sent as JSON") << "POST"_qba
                                         << "/forms"_qba << QByteArrayList{json, small} << 415;
}

void TestBodyRules::admitsFromTheHead()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(QByteArrayList, headers);
    QFETCH(int, status);
    QTemporaryDir directory;
    ServiceConfig config;
    config.dataDirectory = directory.path().toStdString();
    ServiceContext context(config, openDataDirectory(config.dataDirectory, serviceSchema()));
    BodyRules rules;
    rules.add("POST", "/items", {BodyRule::Kind::json, 100, &refuseStrangers});
    rules.add("PUT", R"(/files/\d+)", {BodyRule::Kind::bytes, 1000, nullptr});
    rules.add("POST", "/forms", {BodyRule::Kind::form, 1000, nullptr});
    httplib::Request request;
    request.method = method.toStdString();
    request.path = path.toStdString();
    for (const QByteArray &header : headers) {
        const qsizetype colon = header.indexOf(':');
        request.headers.emplace(header.left(colon).toStdString(),
                                header.mid(colon + 2).toStdString());
    }
    httplib::Response response;

    const bool admitted = rules.admit(context, request, response);

    QCOMPARE(admitted ? 0 : response.status, status);
}

QTEST_GUILESS_MAIN(TestBodyRules)
#include "test_body_rules.moc"
