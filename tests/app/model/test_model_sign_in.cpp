// SPDX-License-Identifier: GPL-3.0-or-later
// The model's state machine: restore at launch, sign-in, the second factor, sign-out, and a
// model destroyed while it waits.
#include "LogCapture.h"
#include "ModelHarness.h"
#include "auth/KeychainError.h"
#include "config/OrvelanNimbal.h"
#include "errors/HttpErrorMapping.h"

#include <QFile>
#include <QStandardPaths>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Reply = FakeTransport::Reply;

namespace {

const QString ana = ModelHarness::account;
const QString password = u"mot de passe"_s;

// A keychain that refuses to be read.
class LockedSessionStore final : public SessionStoring {
public:
    QCoro::Task<std::optional<DriveSession>> load() override
    {
        throw KeychainError(-25308, u"Trousseau verrouillé"_s);
        co_return std::nullopt;
    }
    QCoro::Task<> save(DriveSession) override { co_return; }
    QCoro::Task<> clear() override { co_return; }
};

// Each status the model went through, with the status line it showed.
QStringList &trailOf(AppModel &model, QStringList &trail)
{
    QObject::connect(&model, &AppModel::statusChanged, &model, [&] {
        trail.append(describe(model.status()) + u" « "_s + model.statusText() + u" »"_s);
    });
    return trail;
}

} // namespace

class TestModelSignIn : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void restore_data();
    void restore();
    void signIn_data();
    void signIn();
    void submitCode_data();
    void submitCode();
    void submitCodeTwiceSendsOnce();
    void signOut_data();
    void signOut();
    void destroyedWhileWaiting_data();
    void destroyedWhileWaiting();
};

void TestModelSignIn::restore_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QStringList>("registered");
    QTest::addColumn<QString>("failing"); // "keychain", or a call of the file-provider system
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("calls");

    const QString add = u"add "_s + ana;
    const QString locked = KeychainError(-25308, u"Trousseau verrouillé"_s).errorDescription();
    QTest::newRow("nothing stored")
        << false << QStringList() << QString() << u"SignedOut"_s << QStringList();
    QTest::newRow("domain already there")
        << true << QStringList{ana} << QString() << u"Ready"_s << QStringList{u"domains"_s};
    QTest::newRow("domain missing: added first")
        << true << QStringList{u"bob"_s} << QString() << u"Ready"_s
        << QStringList{u"domains"_s, u"domains"_s, u"remove bob"_s, add};
    QTest::newRow("the domain cannot be added")
        << true << QStringList() << u"add"_s << u"Failed(Refusé.)"_s
        << QStringList{u"domains"_s, u"domains"_s, add};
    QTest::newRow("keychain locked")
        << false << QStringList() << u"keychain"_s << u"Failed(%1)"_s.arg(locked) << QStringList();
}

void TestModelSignIn::restore()
{
    QFETCH(bool, stored);
    QFETCH(QStringList, registered);
    QFETCH(QString, failing);
    QFETCH(QString, expected);
    QFETCH(QStringList, calls);

    ModelHarness harness;
    for (const QString &identifier : registered)
        harness.system->registerDomain({identifier, identifier, true});
    const qsizetype start = harness.system->calls().size();
    if (failing == u"keychain")
        harness.service.client = ApiClient::create(
            harness.service.client->configuration(), harness.service.transport,
            std::make_shared<LockedSessionStore>(), harness.service.devices, harness.service.clock);
    else if (!failing.isEmpty())
        harness.system->fail(failing, u"Refusé."_s);
    if (stored)
        harness.storeSession();

    LogCapture log;
    harness.model = std::make_unique<AppModel>(harness.environment());
    AppModel &model = *harness.model;
    QStringList trail;
    trailOf(model, trail);
    runAsync(model.whenIdle());
    // No intermediate state while restoring: signed out, then the outcome.
    QCOMPARE(trail.size(), expected == u"SignedOut" ? 0 : 1);
    QCOMPARE(describe(model.status()), expected);
    QCOMPARE(harness.system->calls().mid(start, calls.size()), calls);
    QCOMPARE(model.account(), stored ? std::optional(ana) : std::nullopt);
    QCOMPARE(model.lastEmail(), QString());
    const bool ready = model.status() == AppStatus::ready();
    QCOMPARE(harness.live.isRunning(), ready);
    QCOMPARE(model.quota().has_value(), ready);
    QCOMPARE(model.launchAtLogin(), ready); // the first ready registers the login item
    // Network only once signed in: the quota.
    QCOMPARE(harness.service.transport->requests().size(), ready ? 1 : 0);
    QCOMPARE(
        log.lines().filter(u"Reprise"_s),
        model.status().kind() == AppStatus::Kind::Failed
            ? QStringList{u"app: Reprise de session impossible : "_s + model.status().message()}
            : QStringList());
}

void TestModelSignIn::signIn_data()
{
    QTest::addColumn<Reply>("login");
    QTest::addColumn<bool>("addFails");
    QTest::addColumn<QString>("outcome");

    const QString passkey =
        u"Cette boîte n'accepte que les clés d'accès. Connectez-vous depuis le webmail, ou "
        "ajoutez une application d'authentification depuis l'espace Comptes."_s;
    const QString refused = mapLoginError(401, {}, {}).errorDescription();
    const QString code = u"TwoFactor(%1) « Code de vérification attendu »"_s.arg(ana);
    QTest::newRow("signed in") << ModelHarness::session() << false << u"Ready « Nimbal à jour »"_s;
    QTest::newRow("authenticator code asked")
        << ModelHarness::challenge({u"totp"_s, u"recovery"_s}) << false << code;
    QTest::newRow("recovery codes only")
        << ModelHarness::challenge({u"recovery"_s}) << false << code;
    QTest::newRow("passkey only") << ModelHarness::challenge({u"webauthn"_s}) << false
                                  << u"Failed(%1) « %1 »"_s.arg(passkey);
    QTest::newRow("refused") << Reply::withStatus(401) << false
                             << u"Failed(%1) « %1 »"_s.arg(refused);
    QTest::newRow("the domain cannot be added")
        << ModelHarness::session() << true << u"Failed(Refusé.) « Refusé. »"_s;
}

void TestModelSignIn::signIn()
{
    QFETCH(Reply, login);
    QFETCH(bool, addFails);
    QFETCH(QString, outcome);

    ModelHarness harness;
    harness.answers.insert(u"/auth/login-jmap"_s, [login] { return login; });
    if (addFails)
        harness.system->fail(u"add"_s, u"Refusé."_s);
    AppModel &model = harness.start();
    QStringList trail;
    trailOf(model, trail);
    LogCapture log;

    model.signIn(ana, password);
    runAsync(model.whenIdle());
    QCOMPARE(trail, (QStringList{u"Connecting « Connexion… »"_s, outcome}));
    // The address typed is remembered for the next form, whatever the outcome.
    QCOMPARE(model.lastEmail(), ana);
    QCOMPARE(harness.preferences->lastEmail(), ana);
    const bool signedIn = login.body.contains("access_token");
    QCOMPARE(model.account(), signedIn ? std::optional(ana) : std::nullopt);
    QCOMPARE(harness.system->registered().size(), signedIn && !addFails ? 1 : 0);
    // Failures of a sign-in are shown, not logged.
    QCOMPARE(log.lines().filter(u"impossible"_s), QStringList());
}

void TestModelSignIn::submitCode_data()
{
    QTest::addColumn<Reply>("verify");
    QTest::addColumn<bool>("useRecovery");
    QTest::addColumn<bool>("named"); // the computer has a name
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("twoFactorError");

    const QString waiting = u"TwoFactor(%1)"_s.arg(ana);
    QTest::newRow("accepted") << ModelHarness::session() << false << true << u"Ready"_s
                              << QString();
    QTest::newRow("recovery code, computer without a name")
        << ModelHarness::session() << true << false << u"Ready"_s << QString();
    QTest::newRow("wrong code") << Reply::withStatus(401) << false << true << waiting
                                << DriveError::twoFactorInvalidCode().errorDescription();
    QTest::newRow("too many attempts") << Reply::withStatus(429) << false << true << waiting
                                       << DriveError::tooManyAttempts().errorDescription();
    QTest::newRow("expired") << Reply::withStatus(410) << false << true
                             << u"Failed(La vérification a expiré. Saisissez de nouveau votre mot "
                                "de passe.)"_s
                             << QString();
}

void TestModelSignIn::submitCode()
{
    QFETCH(Reply, verify);
    QFETCH(bool, useRecovery);
    QFETCH(bool, named);
    QFETCH(QString, status);
    QFETCH(QString, twoFactorError);

    ModelHarness harness;
    if (!named)
        harness.computerName.reset();
    harness.answers.insert(u"/auth/2fa/verify"_s, [verify] { return verify; });
    AppModel &model = harness.twoFactorPending();
    QList<bool> verifying;
    connect(&model, &AppModel::isVerifyingChanged, &model,
            [&] { verifying.append(model.isVerifying()); });

    model.submitCode(*model.status().challenge(), useRecovery, u" 123456 "_s, true);
    runAsync(model.whenIdle());
    QCOMPARE(describe(model.status()), status);
    QCOMPARE(model.twoFactorError().value_or(QString()), twoFactorError);
    QCOMPARE(verifying, (QList<bool>{true, false}));
    const QByteArray sent = harness.service.transport->requests().at(1).body.toByteArray();
    QVERIFY(sent.contains(useRecovery ? "\"method\":\"recovery\"" : "\"method\":\"totp\""));
    QVERIFY(
        sent.contains(named ? "\"device_label\":\"Poste d'Ana\"" : "\"device_label\":\"Linux\""));

    // The view's back button: to the sign-in form, the message gone.
    if (status.startsWith(u"TwoFactor")) {
        model.cancelTwoFactor();
        QCOMPARE(model.status(), AppStatus::signedOut());
        QCOMPARE(model.twoFactorError(), std::nullopt);
    }
}

void TestModelSignIn::submitCodeTwiceSendsOnce()
{
    ModelHarness harness;
    harness.answers.insert(u"/auth/2fa/verify"_s, [] { return Reply::withStatus(401); });
    AppModel &model = harness.twoFactorPending();
    const ChallengeInfo challenge = *model.status().challenge();
    model.submitCode(challenge, false, u"123456"_s, false);
    model.submitCode(challenge, false, u"123456"_s, false);
    runAsync(model.whenIdle());
    QCOMPARE(harness.requestCount(u"/auth/2fa/verify"_s), 1);
    // Once answered, the next code goes.
    model.submitCode(challenge, false, u"654321"_s, false);
    runAsync(model.whenIdle());
    QCOMPARE(harness.requestCount(u"/auth/2fa/verify"_s), 2);
}

void TestModelSignIn::signOut_data()
{
    QTest::addColumn<bool>("systemGone");
    QTest::newRow("file-provider system up") << false;
    QTest::newRow("file-provider system gone") << true;
}

void TestModelSignIn::signOut()
{
    QFETCH(bool, systemGone);

    ModelHarness harness;
    runAsync(harness.service.devices->save(u"appareil"_s, ana));
    LogCapture log;
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    for (const std::optional<QUrl> &file : {summaryURL(ana), itemStoreURL(ana)}) {
        QFile written(file->toLocalFile());
        QVERIFY(written.open(QIODevice::WriteOnly));
    }
    harness.live.status(DriveEventStream::Status::connected());
    if (systemGone)
        harness.system->fail(u"*"_s, u"Service de synchronisation absent."_s);

    model.signOut();
    runAsync(model.whenIdle());
    QCOMPARE(model.status(), AppStatus::signedOut());
    QCOMPARE(model.account(), std::nullopt);
    QCOMPARE(model.quota(), std::nullopt);
    QCOMPARE(model.liveStatus(), std::nullopt);
    QCOMPARE(harness.system->registered().isEmpty(), !systemGone);
    QVERIFY(!QFile::exists(summaryURL(ana)->toLocalFile()));
    QVERIFY(!QFile::exists(itemStoreURL(ana)->toLocalFile()));
    QCOMPARE(harness.service.stored(), std::nullopt);
    // What outlives the session: the trusted device and the preferences.
    QCOMPARE(runAsync(harness.service.devices->token(ana)), u"appareil"_s);
    QVERIFY(harness.preferences->launchAtLoginChosen());

    // Nothing periodic goes on, nothing signals.
    QVERIFY(!harness.live.isRunning());
    const int ticks = harness.ticks();
    const int signalsSent = harness.system->signalCount();
    model.scheduleSignal();
    emit harness.wake->woke();
    harness.clock().advance(600s);
    settle();
    QCOMPARE(harness.ticks(), ticks);
    QCOMPARE(harness.system->signalCount(), signalsSent);
    // The account never reached the log in clear.
    QVERIFY(!log.lines().isEmpty());
    QCOMPARE(log.lines().filter(ana, Qt::CaseInsensitive), QStringList());
}

void TestModelSignIn::destroyedWhileWaiting_data()
{
    QTest::addColumn<QString>("waitingFor");
    QTest::newRow("the service") << u"login"_s;
    QTest::newRow("the file-provider system") << u"mount"_s;
    QTest::newRow("a refresh's stabilisation") << u"refresh"_s;
}

void TestModelSignIn::destroyedWhileWaiting()
{
    QFETCH(QString, waitingFor);

    ModelHarness harness;
    if (waitingFor == u"refresh") {
        harness.signedInAndLive();
        harness.system->setStabilizing(false);
        harness.model->refreshNow();
        waitUntil([&] { return harness.system->heldStabilizations() == 1; });
    } else {
        harness.answers.insert(u"/auth/login-jmap"_s, [&] {
            return waitingFor == u"login" ? Reply::hang() : ModelHarness::session();
        });
        harness.start().signIn(ana, password);
        if (waitingFor == u"mount")
            waitUntil([&] { return harness.system->calls().contains(u"domains"_s); });
        settle();
    }
    harness.model.reset();
    // Late answers and deadlines find nothing to resume into.
    harness.system->completeStabilizations();
    harness.clock().advance(600s);
    settle();
}

QTEST_GUILESS_MAIN(TestModelSignIn)
#include "test_model_sign_in.moc"
