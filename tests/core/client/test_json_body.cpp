// SPDX-License-Identifier: GPL-3.0-or-later
// Request bodies and the shared JSON reader's failures.
#include "DriveErrorTesting.h"

#include "auth/DriveSession.h"
#include "client/JsonDecoding.h"
#include "client/RequestBody.h"

#include <QJsonArray>
#include <QTest>

using namespace OrvelanNimbal;

class TestJsonBody : public QObject {
    Q_OBJECT

private slots:
    void compactBodies();
    void bareValues_data();
    void bareValues();
    void readerFailures_data();
    void readerFailures();
};

void TestJsonBody::compactBodies()
{
    const QJsonObject object{{QStringLiteral("file_ids"), QJsonArray{qint64(9007199254740993)}},
                             {QStringLiteral("folder_ids"), QJsonArray{}},
                             {QStringLiteral("name"), QStringLiteral("é \"x\"")}};
    QCOMPARE(JsonBody::fromObject(object).bytes,
             QByteArray(R"({"file_ids":[9007199254740993],"folder_ids":[],"name":"é \"x\""})"));
}

void TestJsonBody::bareValues_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("string") << QJsonValue(QStringLiteral("x")) << QByteArray(R"("x")");
    QTest::newRow("escapes") << QJsonValue(QStringLiteral("a\"b\\c\n"))
                             << QByteArray(R"("a\"b\\c\n")");
    QTest::newRow("integer") << QJsonValue(qint64(-12)) << QByteArray("-12");
    QTest::newRow("object") << QJsonValue(QJsonObject{{QStringLiteral("k"), true}})
                            << QByteArray(R"({"k":true})");
}

void TestJsonBody::bareValues()
{
    QFETCH(QJsonValue, value);
    QFETCH(QByteArray, bytes);
    QCOMPARE(JsonBody::fromValue(value).bytes, bytes);
}

void TestJsonBody::readerFailures_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("description"); // empty: decodes

    QTest::newRow("complete") << QByteArray(R"({"account":"a","accessToken":"t","password":"p"})")
                              << QString();
    QTest::newRow("extra keys ignored")
        << QByteArray(R"({"x":[1,{"y":null}],"account":"a","accessToken":"t","password":"p"})")
        << QString();
    QTest::newRow("missing key") << QByteArray(R"({"account":"a","accessToken":"t"})")
                                 << QStringLiteral("$ : clé « password » absente");
    QTest::newRow("wrong type") << QByteArray(R"({"account":1,"accessToken":"t","password":"p"})")
                                << QStringLiteral("$.account : chaîne attendue");
    QTest::newRow("null for a required text")
        << QByteArray(R"({"account":"a","accessToken":null,"password":"p"})")
        << QStringLiteral("$.accessToken : chaîne attendue");
    QTest::newRow("not an object") << QByteArray("[]") << QStringLiteral("$ : objet attendu");
    QTest::newRow("trailing content")
        << QByteArray(R"({"account":"a","accessToken":"t","password":"p"} x)")
        << QStringLiteral("$ : contenu inattendu après la fin du JSON");
}

void TestJsonBody::readerFailures()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, description);
    if (description.isEmpty()) {
        QCOMPARE(Json::decode<DriveSession>(json).account, QStringLiteral("a"));
        return;
    }
    NIMBAL_EXPECT_DRIVE_ERROR(Json::decode<DriveSession>(json), DriveError::decoding(description));
}

QTEST_GUILESS_MAIN(TestJsonBody)
#include "test_json_body.moc"
