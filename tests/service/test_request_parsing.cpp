// SPDX-License-Identifier: GPL-3.0-or-later
// What the service reads out of a request, to the letter: the fields of a pre-signed query, a
// bearer token, and the text of a JSON body.
#include "auth/Authentication.h"
#include "foundation/JsonHttp.h"
#include "storage/UrlSigner.h"

#include <QJsonArray>
#include <QTest>

#include <httplib.h>

using namespace OrvelanNimbal::Service;

class TestRequestParsing : public QObject {
    Q_OBJECT

private slots:
    void readsSignedQueryFields_data();
    void readsSignedQueryFields();
    void readsBearerTokens_data();
    void readsBearerTokens();
    void readsJsonText_data();
    void readsJsonText();
};

void TestRequestParsing::readsSignedQueryFields_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QByteArray>("expires");
    QTest::addColumn<QByteArray>("signature");
    QTest::newRow("as written") << "expires=12&signature=abc"_qba << true << "12"_qba
                                << "abc"_qba;
    QTest::newRow("either order") << "signature=abc&expires=12"_qba << true << "12"_qba
                                  << "abc"_qba;
    QTest::newRow("two equals signs") << "expires=12&signature=junk=abc"_qba << false << ""_qba
                                      << ""_qba;
    QTest::newRow("a field twice") << "expires=12&signature=a&signature=b"_qba << false << ""_qba
                                   << ""_qba;
    QTest::newRow("another field") << "expires=12&signature=abc&x=1"_qba << false << ""_qba
                                   << ""_qba;
    QTest::newRow("an empty value") << "expires=&signature=abc"_qba << false << ""_qba
                                    << ""_qba;
    QTest::newRow("a trailing separator") << "expires=12&signature=abc&"_qba << false << ""_qba
                                          << ""_qba;
    QTest::newRow("a field missing") << "expires=12"_qba << false << ""_qba
                                     << ""_qba;
    QTest::newRow("nothing") << ""_qba << false << ""_qba
                             << ""_qba;
}

void TestRequestParsing::readsSignedQueryFields()
{
    QFETCH(QByteArray, query);
    QFETCH(bool, read);
    QFETCH(QByteArray, expires);
    QFETCH(QByteArray, signature);

    const std::string text = query.toStdString(); // what the fields point into
    const auto fields = UrlSigner::readQuery(text);

    QCOMPARE(fields.has_value(), read);
    if (read) {
        QCOMPARE(QByteArray(fields->expires.data(), qsizetype(fields->expires.size())), expires);
        QCOMPARE(QByteArray(fields->signature.data(), qsizetype(fields->signature.size())),
                 signature);
    }
}

void TestRequestParsing::readsBearerTokens_data()
{
    QTest::addColumn<QByteArrayList>("values"); // of the Authorization headers
    QTest::addColumn<QString>("token");         // empty: none
    QTest::newRow("exact") << QByteArrayList{"Bearer abc-_DEF123"} << u"abc-_DEF123"_qs;
    QTest::newRow("padded") << QByteArrayList{"Bearer abc=="} << u"abc=="_qs;
    QTest::newRow("a space after") << QByteArrayList{"Bearer abc "} << QString();
    QTest::newRow("a NUL and more")
        << QByteArrayList{QByteArray("Bearer abc\0junk", 15)} << QString();
    QTest::newRow("two spaces") << QByteArrayList{"Bearer  abc"} << QString();
    QTest::newRow("padding inside") << QByteArrayList{"Bearer ab=c"} << QString();
    QTest::newRow("no token") << QByteArrayList{"Bearer "} << QString();
    QTest::newRow("another scheme") << QByteArrayList{"Basic abc"} << QString();
    QTest::newRow("lower case") << QByteArrayList{"bearer abc"} << QString();
    QTest::newRow("two headers") << QByteArrayList{"Bearer abc", "Bearer abc"} << QString();
    QTest::newRow("none") << QByteArrayList{} << QString();
}

void TestRequestParsing::readsBearerTokens()
{
    QFETCH(QByteArrayList, values);
    QFETCH(QString, token);
    httplib::Request request;
    for (const QByteArray &value : values)
        request.headers.emplace("Authorization", value.toStdString());

    QCOMPARE(bearerToken(request).value_or(QString()), token);
}

void TestRequestParsing::readsJsonText_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("problem");   // ParsedJson::Problem
    QTest::addColumn<QString>("first"); // the first element's text
    const QString mark(QChar(0xFEFF));
    QTest::newRow("plain") << "[\"twin\"]"_qba << 0 << u"twin"_qs;
    QTest::newRow("a leading U+FEFF, as UTF-8")
        << "[\"\xEF\xBB\xBFtwin\"]"_qba << 0 << mark + u"twin"_qs;
    QTest::newRow("a leading U+FEFF, escaped") << "[\"\\ufefftwin\"]"_qba << 0 << mark + u"twin"_qs;
    QTest::newRow("U+FEFF alone") << "[\"\xEF\xBB\xBF\"]"_qba << 0 << mark;
    QTest::newRow("a byte-order mark before the document")
        << "\xEF\xBB\xBF[\"twin\"]"_qba << 0 << u"twin"_qs;
    QTest::newRow("not UTF-8") << "[\"caf\xC3\x28\"]"_qba << 1 << QString();
    QTest::newRow("not JSON") << "[\"twin\""_qba << 2 << QString();
}

void TestRequestParsing::readsJsonText()
{
    QFETCH(QByteArray, body);
    QFETCH(int, problem);
    QFETCH(QString, first);

    const ParsedJson parsed = parseJson(body.toStdString());

    QCOMPARE(int(parsed.problem), problem);
    QCOMPARE(parsed.document.array().at(0).toString(), first);
}

QTEST_GUILESS_MAIN(TestRequestParsing)
#include "test_request_parsing.moc"
