// SPDX-License-Identifier: GPL-3.0-or-later
// The running service reading what clients send to the letter: pre-signed queries and bearer
// tokens exactly as handed out, names kept character for character (a leading U+FEFF
// included) and refused alike when they are not UTF-8, and sign-in failures counted per
// client address, so that a stranger cannot lock the owner out.
#include "LocalService.h"
#include "RawHttp.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

namespace {

const std::string password = "analyse-du-service";
const std::string byteOrderMark = "\xEF\xBB\xBF";

std::string form(const std::string &fileName, const std::string &content)
{
    return "--b\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + fileName
           + "\"\r\nContent-Type: text/plain\r\n\r\n" + content + "\r\n--b--\r\n";
}

} // namespace

class TestServiceParsing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void readsSignedQueriesStrictly_data();
    void readsSignedQueriesStrictly();
    void answersHeadWithTheHeadersOfGet();
    void readsBearerTokensExactly_data();
    void readsBearerTokensExactly();
    void keepsALeadingByteOrderMark();
    void refusesNamesThatAreNotUtf8_data();
    void refusesNamesThatAreNotUtf8();
    void countsSignInFailuresPerClientAddress();

private:
    RawConnection::Answer send(const std::string &method, const std::string &target,
                               const std::string &body = {},
                               const std::string &type = "application/json");
    QStringList folderNames();

    std::unique_ptr<LocalService> m_service;
    QString m_email;
    std::string m_token;
};

void TestServiceParsing::initTestCase()
{
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
}

void TestServiceParsing::init()
{
    m_service->reset();
    m_email = addAccount(*m_service, u"parsing"_qs, password);
    m_token = signIn(m_service->port(), m_email.toStdString(), password);
    QVERIFY(!m_token.empty());
}

RawConnection::Answer TestServiceParsing::send(const std::string &method, const std::string &target,
                                               const std::string &body, const std::string &type)
{
    RawConnection connection(m_service->port());
    std::map<std::string, std::string> headers{{"Authorization", "Bearer " + m_token}};
    if (!body.empty())
        headers["Content-Type"] = type;
    connection.send(request(method, target, headers, body));
    return connection.read();
}

QStringList TestServiceParsing::folderNames()
{
    QStringList names;
    const QJsonArray folders = jsonOf(send("GET", "/api/v1/drive/folders")).array();
    for (const QJsonValue &folder : folders)
        names.append(folder.toObject().value(u"folder_name").toString());
    return names;
}

void TestServiceParsing::readsSignedQueriesStrictly_data()
{
    QTest::addColumn<QString>("query"); // %E and %S stand for the expiry and signature
    QTest::addColumn<int>("status");
    QTest::newRow("as handed out") << u"expires=%E&signature=%S"_qs << 200;
    QTest::newRow("in the other order") << u"signature=%S&expires=%E"_qs << 200;
    QTest::newRow("junk before the signature") << u"expires=%E&signature=junk=%S"_qs << 403;
    QTest::newRow("the signature twice") << u"expires=%E&signature=%S&signature=%S"_qs << 403;
    QTest::newRow("another expiry first") << u"expires=1&expires=%E&signature=%S"_qs << 403;
    QTest::newRow("something more") << u"expires=%E&signature=%S&x=1"_qs << 403;
    QTest::newRow("a field without its value") << u"expires=%E&signature=%S&"_qs << 403;
    QTest::newRow("no expiry") << u"signature=%S"_qs << 403;
}

void TestServiceParsing::readsSignedQueriesStrictly()
{
    QFETCH(QString, query);
    QFETCH(int, status);
    const auto file = m_service->putFile(m_email, u"signé.txt"_qs, "contenu");
    const QUrl url(
        jsonOf(send("GET", "/api/v1/drive/files/" + std::to_string(file.id) + "/download-url"))
            .object()
            .value(u"url")
            .toString());
    const QUrlQuery handedOut(url);
    query.replace(u"%E"_qs, handedOut.queryItemValue(u"expires"_qs))
        .replace(u"%S"_qs, handedOut.queryItemValue(u"signature"_qs));

    RawConnection connection(m_service->port());
    connection.send(
        request("GET", url.path(QUrl::FullyEncoded).toStdString() + "?" + query.toStdString()));
    const auto answer = connection.read();

    QCOMPARE(answer.status, status);
    if (status == 200)
        QCOMPARE(answer.body, std::string("contenu"));
}

void TestServiceParsing::answersHeadWithTheHeadersOfGet()
{
    const auto file = m_service->putFile(m_email, u"tête.txt"_qs, "douze octets");
    const QUrl url(
        jsonOf(send("GET", "/api/v1/drive/files/" + std::to_string(file.id) + "/download-url"))
            .object()
            .value(u"url")
            .toString());
    const std::string target = url.path(QUrl::FullyEncoded).toStdString() + "?"
                               + url.query(QUrl::FullyEncoded).toStdString();
    RawConnection connection(m_service->port());

    connection.send(request("HEAD", target));
    const auto head = connection.read(10s, true);
    connection.send(request("GET", target));
    const auto get = connection.read();

    QCOMPARE(head.status, 200);
    QCOMPARE(get.status, 200);
    QCOMPARE(head.headers.at("content-length"), std::string("12"));
    QCOMPARE(head.headers.at("content-type"), get.headers.at("content-type"));
    QCOMPARE(get.body, std::string("douze octets"));
}

void TestServiceParsing::readsBearerTokensExactly_data()
{
    QTest::addColumn<QByteArray>("header"); // the whole line; %T stands for the token
    QTest::addColumn<int>("status");
    QTest::newRow("exact") << "Authorization: Bearer %T"_qba << 200;
    QTest::newRow("spaces after, escaped") << "Authorization: Bearer %T%20%20"_qba << 401;
    QTest::newRow("a NUL and more") << QByteArray("Authorization: Bearer %T\0junk", 29) << 401;
    QTest::newRow("a NUL and more, escaped") << "Authorization: Bearer %T%00junk"_qba << 401;
    QTest::newRow("two spaces") << "Authorization: Bearer  %T"_qba << 401;
    QTest::newRow("another scheme") << "Authorization: Token %T"_qba << 401;
    QTest::newRow("twice") << "Authorization: Bearer %T\r\nAuthorization: Bearer %T"_qba << 401;
}

void TestServiceParsing::readsBearerTokensExactly()
{
    QFETCH(QByteArray, header);
    QFETCH(int, status);
    header.replace("%T", QByteArray::fromStdString(m_token));
    RawConnection connection(m_service->port());

    connection.send("GET /api/v1/drive/quota HTTP/1.1\r\nHost: 127.0.0.1\r\n" + header.toStdString()
                    + "\r\n\r\n");

    QCOMPARE(connection.read().status, status);
}

void TestServiceParsing::keepsALeadingByteOrderMark()
{
    // Sent as the client's JSON writer sends it: the character itself, not an escape.
    const auto create = [&](const std::string &name) {
        return send("POST", "/api/v1/drive/folders",
                    "{\"folder_name\":\"" + name + "\",\"id_parent\":0}")
            .status;
    };
    QCOMPARE(create(byteOrderMark + "twin"), 201);
    QCOMPARE(create("twin"), 201);
    QCOMPARE(create(byteOrderMark + "twin"), 409);
    QCOMPARE(send("POST", "/api/v1/drive/folders", R"({"folder_name":"\ufefftwin"})").status, 409);
    QCOMPARE(folderNames(), (QStringList{u"twin"_qs, QChar(0xFEFF) + u"twin"_qs}));

    // A file named through a form keeps it too, and a rename to the name without it happens.
    const auto uploaded =
        send("POST", "/api/v1/drive/upload/file", form(byteOrderMark + "note.txt", "x"),
             "multipart/form-data; boundary=b");
    QCOMPARE(uploaded.status, 201);
    const QJsonObject file = jsonOf(uploaded).object();
    QCOMPARE(file.value(u"file_name").toString(), QChar(0xFEFF) + u"note.txt"_qs);
    const std::string rename =
        "/api/v1/drive/files/" + std::to_string(file.value(u"id").toInteger()) + "/rename";
    const auto renamed = send("PUT", rename, "\"note.txt\"");
    QCOMPARE(renamed.status, 200);
    QCOMPARE(jsonOf(renamed).object().value(u"file_name").toString(), u"note.txt"_qs);
}

void TestServiceParsing::refusesNamesThatAreNotUtf8_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("body");
    const QByteArray broken = "caf\xC3\x28";
    QTest::newRow("a folder, in JSON") << "POST"_qba
                                       << "/api/v1/drive/folders"_qba
                                       << "application/json"_qba
                                       << "{\"folder_name\":\"" + broken + "\"}";
    QTest::newRow("a file, in a form")
        << "POST"_qba
        << "/api/v1/drive/upload/file"_qba
        << "multipart/form-data; boundary=b"_qba
        << QByteArray::fromStdString(form(broken.toStdString(), "x"));
    QTest::newRow("an upload, in JSON") << "POST"_qba
                                        << "/api/v1/drive/upload/multipart/init"_qba
                                        << "application/json"_qba
                                        << "{\"file_name\":\"" + broken + "\",\"file_size\":1}";
}

void TestServiceParsing::refusesNamesThatAreNotUtf8()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, body);

    const auto answer =
        send(method.toStdString(), path.toStdString(), body.toStdString(), type.toStdString());

    QCOMPARE(answer.status, 400);
    QCOMPARE(jsonOf(answer).object().value(u"error").toString(), u"invalid_name"_qs);
    QCOMPARE(folderNames(), QStringList());
}

void TestServiceParsing::countsSignInFailuresPerClientAddress()
{
    const std::string email = m_email.toStdString();
    const auto attempt = [&](const std::string &from, const std::string &with) {
        RawConnection connection(m_service->port(), from);
        connection.send(request(
            "POST", "/api/v1/auth/login-jmap", {{"Content-Type", "application/json"}},
            jsonText({{u"email"_qs, m_email}, {u"password"_qs, QString::fromStdString(with)}})));
        return connection.read().status;
    };
    for (int i = 0; i < 5; ++i)
        QCOMPARE(attempt("127.0.0.2", "devinette"), 401);
    // The guesser is shut out, even with the right password…
    QCOMPARE(attempt("127.0.0.2", password), 429);
    // …the owner, elsewhere, is not.
    QCOMPARE(attempt("127.0.0.3", password), 200);

    // Guesses spread over many addresses run into the account's own ceiling, for everyone,
    // for a short while.
    for (int address = 4; address < 9; ++address) {
        for (int i = 0; i < 5; ++i)
            QCOMPARE(attempt("127.0.0." + std::to_string(address), "devinette"), 401);
    }
    QCOMPARE(attempt("127.0.0.3", password), 429);
}

QTEST_GUILESS_MAIN(TestServiceParsing)
#include "test_service_parsing.moc"
