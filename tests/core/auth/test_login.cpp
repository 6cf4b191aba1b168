// SPDX-License-Identifier: GPL-3.0-or-later
// Sign-in and second-factor verification: the bodies sent, the answers read, what is stored.
#include "ClientHarness.h"
#include "DriveErrorTesting.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using Reply = FakeTransport::Reply;

Q_DECLARE_METATYPE(std::optional<OrvelanNimbal::DriveError>)

namespace {

const QString typed = u"Alice@Orvelan.net"_s;
const QString password = u"pa ss"_s;
const DriveSession before{u"x"_s, u"old"_s, u"p"_s};

TwoFactorChallenge challenge(QStringList methods = {u"totp"_s})
{
    return {u"alice@orvelan.net"_s, methods, {}, u"pending"_s, password};
}

// The one sign-in request: a JSON POST, never authenticated, even with a session held.
void checkSignInRequest(const ClientHarness &harness, const QString &path, const QJsonObject &body)
{
    QCOMPARE(harness.transport->requests().size(), 1);
    const HttpRequest &sent = harness.request(0);
    QCOMPARE(sent.method, "POST"_ba);
    QCOMPARE(sent.url.toString(), u"https://api.test/api/v1"_s + path);
    QCOMPARE(sent.header("Content-Type"), std::optional("application/json"_ba));
    QCOMPARE(sent.header("Authorization"), std::nullopt);
    QCOMPARE(sent.timeout, 60.0);
    QCOMPARE(QJsonDocument::fromJson(sent.body.toByteArray()).object(), body);
}

} // namespace

class TestLogin : public QObject {
    Q_OBJECT

private slots:
    void loginRequest_data();
    void loginRequest();
    void loginAnswers_data();
    void loginAnswers();
    void challengeDefaults();
    void methods();
    void verificationAnswers_data();
    void verificationAnswers();
};

void TestLogin::loginRequest_data()
{
    QTest::addColumn<QString>("deviceOf"); // the account a trusted-device token is stored for
    QTest::addColumn<bool>("sent");
    QTest::newRow("this account, other letters") << u"alice@orvelan.net"_s << true;
    QTest::newRow("another account") << u"bob@orvelan.net"_s << false;
}

void TestLogin::loginRequest()
{
    QFETCH(QString, deviceOf);
    QFETCH(bool, sent);

    ClientHarness harness;
    harness.signIn(before);
    runAsync(harness.devices->save(u"device-1"_s, deviceOf));
    harness.transport->enqueue(Reply::ok(R"({"access_token":"t"})"));
    runAsync(harness.client->login(typed, password));
    QJsonObject expected{{u"email"_s, typed}, {u"password"_s, password}, {u"supports_2fa"_s, true}};
    if (sent)
        expected.insert(u"trusted_device_token"_s, u"device-1"_s);
    checkSignInRequest(harness, u"/auth/login-jmap"_s, expected);
}

void TestLogin::loginAnswers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("account"); // of the session stored and held
    QTest::addColumn<std::optional<DriveError>>("error");
    const auto row = [](const char *tag, int status, QByteArray answer, QString account,
                        std::optional<DriveError> error = {}) {
        QTest::newRow(tag) << status << answer << account << error;
    };
    row("token", 200, R"({"access_token":"t"})", typed);
    row("returned address wins", 200, R"({"access_token":"t","email":"alice@orvelan.net"})",
        u"alice@orvelan.net"_s);
    row("pending token without the flag", 200,
        R"({"two_factor_required":false,"pending_token":"p","access_token":"t"})", typed);
    row("flag without pending token", 200, R"({"two_factor_required":true,"access_token":"t"})",
        typed);
    row("flag alone", 200, R"({"two_factor_required":true})", {},
        DriveError::decoding(u"$ : clé « access_token » absente"_s));
    row("sign-in refusals have their own mapping", 429, {}, {}, DriveError::tooManyAttempts());
}

void TestLogin::loginAnswers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, answer);
    QFETCH(QString, account);
    QFETCH(std::optional<DriveError>, error);

    ClientHarness harness;
    harness.transport->enqueue(Reply::withStatus(status, answer));
    const auto login = [&] { return runAsync(harness.client->login(typed, password)); };
    if (error) {
        NIMBAL_EXPECT_DRIVE_ERROR(login(), *error);
        QCOMPARE(harness.transport->requests().size(), 1); // never retried
        QCOMPARE(harness.stored(), std::nullopt);
        return;
    }
    const DriveSession expected{account, u"t"_s, password};
    QCOMPARE(login(), LoginOutcome::signedIn(expected));
    QCOMPARE(harness.stored(), std::optional(expected));
    QCOMPARE(harness.client->session(), std::optional(expected));
}

void TestLogin::challengeDefaults()
{
    ClientHarness harness;
    harness.transport->enqueue(
        Reply::ok(R"({"two_factor_required":true,"pending_token":"p","methods":["totp"]})"));
    harness.transport->enqueue(Reply::ok(
        R"({"two_factor_required":true,"pending_token":"q","expires_in":60,"email":"a@b.c"})"));
    const QDateTime now = harness.clock->currentDateTime();

    const LoginOutcome outcome = runAsync(harness.client->login(typed, password));
    QCOMPARE(outcome, LoginOutcome::twoFactorRequired(
                          {typed, {u"totp"_s}, now.addSecs(300), u"p"_s, password}));
    QCOMPARE(harness.stored(), std::nullopt); // nothing stored, nothing held
    QVERIFY(!harness.client->isAuthenticated());
    const LoginOutcome other = runAsync(harness.client->login(typed, password));
    QCOMPARE(other,
             LoginOutcome::twoFactorRequired({u"a@b.c"_s, {}, now.addSecs(60), u"q"_s, password}));
}

void TestLogin::methods()
{
    QCOMPARE(twoFactorMethodFromRawValue(u"totp"), std::optional(TwoFactorMethod::totp));
    QCOMPARE(twoFactorMethodFromRawValue(u"recovery"), std::optional(TwoFactorMethod::recovery));
    QCOMPARE(twoFactorMethodFromRawValue(u"TOTP"), std::nullopt);
    QVERIFY(challenge().acceptsAnyCode() && !challenge().acceptsRecoveryCode());
    QVERIFY(challenge({u"recovery"_s}).acceptsAnyCode());
    QVERIFY(!challenge({u"recovery"_s}).acceptsAuthenticatorCode());
    QVERIFY(!challenge({u"Totp"_s, u"webauthn"_s}).acceptsAnyCode()); // a passkey-only account
}

void TestLogin::verificationAnswers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("account");     // of the session stored and held
    QTest::addColumn<QString>("deviceToken"); // empty: nothing stored
    QTest::addColumn<std::optional<DriveError>>("error");
    const auto row = [](const char *tag, int status, QByteArray answer, QString account,
                        QString device, std::optional<DriveError> error = {}) {
        QTest::newRow(tag) << status << answer << account << device << error;
    };
    const QString alice = u"alice@orvelan.net"_s;
    row("plain", 200, R"({"access_token":"t"})", alice, {});
    row("remembered", 200, R"({"access_token":"t","trusted_device_token":"dev"})", alice, u"dev"_s);
    row("empty device token stores nothing", 200,
        R"({"access_token":"t","trusted_device_token":""})", alice, {});
    row("returned address wins, the device stays the challenge's", 200,
        R"({"access_token":"t","email":"ana@orvelan.net","trusted_device_token":"dev"})",
        u"ana@orvelan.net"_s, u"dev"_s);
    row("429", 429, {}, {}, {}, DriveError::tooManyAttempts());
    row("410", 410, {}, {}, {}, DriveError::twoFactorExpired());
    row("401", 401, {}, {}, {}, DriveError::twoFactorInvalidCode());
    row("502", 502, "gateway", {}, {}, DriveError::http(502, u"gateway"_s));
}

void TestLogin::verificationAnswers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, answer);
    QFETCH(QString, account);
    QFETCH(QString, deviceToken);
    QFETCH(std::optional<DriveError>, error);

    ClientHarness harness;
    harness.signIn(before);
    harness.transport->enqueue(Reply::withStatus(status, answer));
    const auto verify = [&] {
        return runAsync(harness.client->verifyTwoFactor(challenge(), TwoFactorMethod::recovery,
                                                        u"  12 34\n"_s, true, u"Poste de Alice"_s));
    };
    const DriveSession expected = error ? before : DriveSession{account, u"t"_s, password};
    if (error)
        NIMBAL_EXPECT_DRIVE_ERROR(verify(), *error);
    else
        QCOMPARE(verify(), expected);
    checkSignInRequest(harness, u"/auth/2fa/verify"_s,
                       QJsonObject{{u"pending_token"_s, u"pending"_s},
                                   {u"method"_s, u"recovery"_s},
                                   {u"code"_s, u"12 34"_s},
                                   {u"remember_device"_s, true},
                                   {u"device_label"_s, u"Poste de Alice"_s}});
    QCOMPARE(harness.stored(), std::optional(expected));
    QCOMPARE(harness.client->session(), std::optional(expected));
    // Stored under the challenge's account, whatever its letter case.
    QCOMPARE(runAsync(harness.devices->token(u"Alice@Orvelan.NET"_s)),
             deviceToken.isEmpty() ? std::nullopt : std::optional(deviceToken));
}

QTEST_GUILESS_MAIN(TestLogin)
#include "test_login.moc"
