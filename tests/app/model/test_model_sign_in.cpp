// SPDX-License-Identifier: GPL-3.0-or-later
// The model's state machine: restore at launch, sign-in, the second factor, sign-out, the status
// line, and a model destroyed while it waits.
#include "DriveErrorTesting.h"
#include "LogCapture.h"
#include "ModelHarness.h"
#include "auth/KeychainError.h"
#include "config/OrvelanNimbal.h"
#include "errors/HttpErrorMapping.h"
#include "sync/DomainSummary.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTest>
#include <QThreadPool>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Kind = AppStatus::Kind;
using Reply = FakeTransport::Reply;

namespace {

const QString ana = ModelHarness::account;

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

FileProviderError refusal(const QString &message)
{
    return {u"net.orvelan.nimbal.FileProvider1.Error.Failed"_s, message};
}

// Each status the model went through, with the status line it showed.
struct StatusTrail {
    QStringList entries;
    explicit StatusTrail(AppModel &model)
    {
        QObject::connect(&model, &AppModel::statusChanged, &model, [this, &model] {
            entries.append(describe(model.status()) + u" « "_s + model.statusText() + u" »"_s);
        });
    }
};

QJsonObject sentBody(const HttpRequest &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

void writeContainerFile(const std::optional<QUrl> &url)
{
    QFile file(url->toLocalFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{}");
}

} // namespace

class TestModelSignIn : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void firstLaunch();
    void restore_data();
    void restore();
    void signIn_data();
    void signIn();
    void submitCode_data();
    void submitCode();
    void submitCodeTwiceSendsOnce();
    void cancelTwoFactor();
    void signOut_data();
    void signOut();
    void destroyedWhileWaiting_data();
    void destroyedWhileWaiting();
};

void TestModelSignIn::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true); // the shared container under ~/.qttest
}

void TestModelSignIn::firstLaunch()
{
    ModelHarness harness;
    AppModel &model = harness.start();
    QCOMPARE(model.status(), AppStatus::signedOut());
    QCOMPARE(model.statusText(), u"Non connecté"_s);
    QCOMPARE(model.lastEmail(), QString());
    QCOMPARE(model.account(), std::nullopt);
    QVERIFY(harness.service.transport->requests().isEmpty());
    QVERIFY(harness.system->calls().isEmpty());
    QVERIFY(!harness.live.isRunning());
}

void TestModelSignIn::restore_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<bool>("keychainLocked");
    QTest::addColumn<QStringList>("registered");
    QTest::addColumn<bool>("addFails");
    QTest::addColumn<QString>("expected"); // the status as toString() shows it
    QTest::addColumn<QStringList>("domainCalls");

    const QString locked = KeychainError(-25308, u"Trousseau verrouillé"_s).errorDescription();
    QTest::newRow("nothing stored")
        << false << false << QStringList() << false << u"SignedOut"_s << QStringList();
    QTest::newRow("domain already there")
        << true << false << QStringList{ana} << false << u"Ready"_s << QStringList{u"domains"_s};
    QTest::newRow("domain missing: added first")
        << true << false << QStringList() << false << u"Ready"_s
        << QStringList{u"domains"_s, u"domains"_s, u"add "_s + ana};
    QTest::newRow("another account's domain replaced")
        << true << false << QStringList{u"bob@orvelan.net"_s} << false << u"Ready"_s
        << QStringList{u"domains"_s, u"domains"_s, u"remove bob@orvelan.net"_s, u"add "_s + ana};
    QTest::newRow("the domain cannot be added")
        << true << false << QStringList() << true << u"Failed(Ajout refusé.)"_s
        << QStringList{u"domains"_s, u"domains"_s, u"add "_s + ana};
    QTest::newRow("keychain locked")
        << false << true << QStringList() << false << u"Failed("_s + locked + u')' << QStringList();
}

void TestModelSignIn::restore()
{
    QFETCH(bool, stored);
    QFETCH(bool, keychainLocked);
    QFETCH(QStringList, registered);
    QFETCH(bool, addFails);
    QFETCH(QString, expected);
    QFETCH(QStringList, domainCalls);

    ModelHarness harness;
    for (const QString &identifier : registered)
        harness.system->addDomain({identifier, identifier, true}, [](auto) {});
    settle();
    const qsizetype callsBefore = harness.system->calls().size();
    if (addFails)
        harness.system->failAdd(refusal(u"Ajout refusé."_s));
    if (stored)
        harness.storeSession();
    if (keychainLocked)
        harness.service.client = ApiClient::create(
            harness.service.client->configuration(), harness.service.transport,
            std::make_shared<LockedSessionStore>(), harness.service.devices, harness.service.clock);

    LogCapture log;
    harness.start();
    AppModel &model = *harness.model;
    StatusTrail trail(model);
    QCOMPARE(describe(model.status()), expected);
    // No intermediate state while restoring: the next change is the outcome.
    QVERIFY(trail.entries.isEmpty());

    const QStringList calls = harness.system->calls().mid(callsBefore);
    QCOMPARE(calls.mid(0, domainCalls.size()), domainCalls);
    QCOMPARE(model.account(), stored ? std::optional(ana) : std::nullopt);
    const bool ready = model.status() == AppStatus::ready();
    QCOMPARE(harness.live.isRunning(), ready);
    QCOMPARE(model.quota().has_value(), ready);
    QCOMPARE(model.launchAtLogin(), ready); // the first ready registers the login item
    const bool failed = model.status().kind() == Kind::Failed;
    QCOMPARE(
        log.lines().filter(u"Reprise de session impossible"_s),
        failed ? QStringList{u"app: Reprise de session impossible : "_s + model.status().message()}
               : QStringList());
    // Network only once signed in: the quota.
    QCOMPARE(harness.service.transport->requests().size(), ready ? 1 : 0);
}

void TestModelSignIn::signIn_data()
{
    QTest::addColumn<Reply>("login");
    QTest::addColumn<bool>("addFails");
    QTest::addColumn<QStringList>("trail");

    const QString connecting = u"Connecting « Connexion… »"_s;
    QTest::newRow("signed in") << ModelHarness::session() << false
                               << QStringList{connecting, u"Ready « Nimbal à jour »"_s};
    QTest::newRow("authenticator code asked")
        << ModelHarness::challenge({u"totp"_s, u"recovery"_s}) << false
        << QStringList{connecting, u"TwoFactor(%1) « Code de vérification attendu »"_s.arg(ana)};
    QTest::newRow("recovery codes only")
        << ModelHarness::challenge({u"recovery"_s}) << false
        << QStringList{connecting, u"TwoFactor(%1) « Code de vérification "
                                   "attendu »"_s.arg(ana)};
    const QString passkey =
        u"Cette boîte n'accepte que les clés d'accès. Connectez-vous depuis le webmail, ou "
        "ajoutez une application d'authentification depuis l'espace Comptes."_s;
    QTest::newRow("passkey only") << ModelHarness::challenge({u"webauthn"_s}) << false
                                  << QStringList{connecting, u"Failed(%1) « %1 »"_s.arg(passkey)};
    const QString refused = mapLoginError(401, {}, {}).errorDescription();
    QTest::newRow("refused") << Reply::withStatus(401) << false
                             << QStringList{connecting, u"Failed(%1) « %1 »"_s.arg(refused)};
    QTest::newRow("the domain cannot be added")
        << ModelHarness::session() << true
        << QStringList{connecting, u"Failed(Ajout refusé.) « Ajout refusé. »"_s};
}

void TestModelSignIn::signIn()
{
    QFETCH(Reply, login);
    QFETCH(bool, addFails);
    QFETCH(QStringList, trail);

    ModelHarness harness;
    harness.answers.insert(u"/auth/login-jmap"_s, [login] { return login; });
    if (addFails)
        harness.system->failAdd(refusal(u"Ajout refusé."_s));
    AppModel &model = harness.start();
    StatusTrail statuses(model);
    LogCapture log;

    model.signIn(ana, u"mot de passe"_s);
    runAsync(model.whenIdle());
    QCOMPARE(statuses.entries, trail);
    // The address typed is remembered for the next form, whatever the outcome.
    QCOMPARE(model.lastEmail(), ana);
    QCOMPARE(harness.preferences->lastEmail(), ana);
    QCOMPARE(model.twoFactorError(), std::nullopt);
    const bool signedIn = login.body.contains("access_token");
    QCOMPARE(model.account(), signedIn ? std::optional(ana) : std::nullopt);
    QCOMPARE(harness.system->registered().size(), signedIn && !addFails ? 1 : 0);
    // A failure of the sign-in itself is shown, not logged.
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
    QTest::newRow("recovery code, unnamed computer")
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
    harness.answers.insert(u"/auth/login-jmap"_s, [] {
        return ModelHarness::challenge({u"totp"_s, u"recovery"_s});
    });
    harness.answers.insert(u"/auth/2fa/verify"_s, [verify] { return verify; });
    AppModel &model = harness.start();
    model.signIn(ana, u"mot de passe"_s);
    runAsync(model.whenIdle());
    const ChallengeInfo challenge = *model.status().challenge();

    QList<bool> verifying;
    connect(&model, &AppModel::isVerifyingChanged, &model,
            [&] { verifying.append(model.isVerifying()); });
    model.submitCode(challenge, useRecovery, u" 123456 "_s, true);
    runAsync(model.whenIdle());

    QCOMPARE(describe(model.status()), status);
    QCOMPARE(model.twoFactorError().value_or(QString()), twoFactorError);
    QCOMPARE(verifying, (QList<bool>{true, false}));
    const QJsonObject sent = sentBody(harness.service.transport->requests().at(1));
    QCOMPARE(sent.value(u"method"_s).toString(), useRecovery ? u"recovery"_s : u"totp"_s);
    QCOMPARE(sent.value(u"device_label"_s).toString(), named ? u"Poste d'Ana"_s : u"Linux"_s);
    QCOMPARE(sent.value(u"remember_device"_s).toBool(), true);
}

void TestModelSignIn::submitCodeTwiceSendsOnce()
{
    ModelHarness harness;
    harness.answers.insert(u"/auth/login-jmap"_s,
                           [] { return ModelHarness::challenge({u"totp"_s}); });
    harness.answers.insert(u"/auth/2fa/verify"_s, [] { return Reply::withStatus(401); });
    AppModel &model = harness.start();
    model.signIn(ana, u"mot de passe"_s);
    runAsync(model.whenIdle());
    const ChallengeInfo challenge = *model.status().challenge();

    model.submitCode(challenge, false, u"123456"_s, false);
    model.submitCode(challenge, false, u"123456"_s, false);
    runAsync(model.whenIdle());
    QCOMPARE(harness.requestCount(u"/auth/2fa/verify"_s), 1);

    // Once the first answer is in, the next code is sent, and clears the previous message.
    QVERIFY(model.twoFactorError());
    QList<std::optional<QString>> errors;
    connect(&model, &AppModel::twoFactorErrorChanged, &model,
            [&] { errors.append(model.twoFactorError()); });
    model.submitCode(challenge, false, u"654321"_s, false);
    runAsync(model.whenIdle());
    QCOMPARE(harness.requestCount(u"/auth/2fa/verify"_s), 2);
    QCOMPARE(errors.size(), 2);
    QCOMPARE(errors.first(), std::nullopt);
}

void TestModelSignIn::cancelTwoFactor()
{
    ModelHarness harness;
    harness.answers.insert(u"/auth/login-jmap"_s,
                           [] { return ModelHarness::challenge({u"totp"_s}); });
    harness.answers.insert(u"/auth/2fa/verify"_s, [] { return Reply::withStatus(401); });
    AppModel &model = harness.start();
    model.signIn(ana, u"mot de passe"_s);
    runAsync(model.whenIdle());
    model.submitCode(*model.status().challenge(), false, u"000000"_s, false);
    runAsync(model.whenIdle());
    QVERIFY(model.twoFactorError());

    model.cancelTwoFactor();
    QCOMPARE(model.status(), AppStatus::signedOut());
    QCOMPARE(model.twoFactorError(), std::nullopt);
    QCOMPARE(model.lastEmail(), ana); // prefills the form again
}

void TestModelSignIn::signOut_data()
{
    QTest::addColumn<bool>("systemUnavailable");
    QTest::newRow("file-provider system up") << false;
    QTest::newRow("file-provider system gone") << true;
}

void TestModelSignIn::signOut()
{
    QFETCH(bool, systemUnavailable);

    ModelHarness harness;
    runAsync(harness.service.devices->save(u"appareil"_s, ana));
    LogCapture log;
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    QVERIFY(model.quota());
    writeContainerFile(summaryURL(ana));
    writeContainerFile(itemStoreURL(ana));
    harness.live.status(DriveEventStream::Status::connected());
    if (systemUnavailable)
        harness.system->setUnavailable(refusal(u"Service de synchronisation absent."_s));

    model.signOut();
    runAsync(model.whenIdle());
    QCOMPARE(model.status(), AppStatus::signedOut());
    QCOMPARE(model.account(), std::nullopt);
    QCOMPARE(model.quota(), std::nullopt);
    QCOMPARE(model.summary(), std::nullopt);
    QCOMPARE(model.liveStatus(), std::nullopt);
    QCOMPARE(model.transferLabel(), std::nullopt);
    QCOMPARE(harness.system->registered().isEmpty(), !systemUnavailable);
    QVERIFY(!QFile::exists(summaryURL(ana)->toLocalFile()));
    QVERIFY(!QFile::exists(itemStoreURL(ana)->toLocalFile()));
    QCOMPARE(harness.service.stored(), std::nullopt);
    // What outlives the session: the trusted device, the address, the preferences.
    QCOMPARE(runAsync(harness.service.devices->token(ana)), u"appareil"_s);
    QCOMPARE(model.lastEmail(), QString()); // never typed in this run
    QVERIFY(harness.preferences->launchAtLoginChosen());

    // Nothing periodic goes on.
    QVERIFY(!harness.live.isRunning());
    const int ticks = harness.ticks();
    const int signalsSent = harness.system->signalCount();
    harness.clock().advance(600s);
    model.scheduleSignal();
    emit harness.wake->woke();
    harness.clock().advance(1s);
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
    harness.system->setAnswering(InMemoryFileProviderSystem::Answering::otherThread);
    if (waitingFor == u"login") {
        harness.answers.insert(u"/auth/login-jmap"_s, [] { return Reply::hang(); });
        harness.start().signIn(ana, u"mot de passe"_s);
    } else if (waitingFor == u"mount") {
        harness.answers.insert(u"/auth/login-jmap"_s, [] { return ModelHarness::session(); });
        harness.start().signIn(ana, u"mot de passe"_s);
        waitUntil([&] { return harness.system->calls().contains(u"domains"_s); });
    } else {
        harness.signedInAndLive();
        harness.system->setStabilizing(false);
        harness.model->refreshNow();
        waitUntil([&] { return harness.system->heldStabilizations() == 1; });
    }
    QPointer<AppModel> gone = harness.model.get();
    harness.model.reset();
    QVERIFY(!gone);
    // Late answers and deadlines find nothing to resume into.
    harness.system->completeStabilizations();
    harness.clock().advance(600s);
    settle();
    QThreadPool::globalInstance()->waitForDone();
    settle();
}

QTEST_GUILESS_MAIN(TestModelSignIn)
#include "test_model_sign_in.moc"
