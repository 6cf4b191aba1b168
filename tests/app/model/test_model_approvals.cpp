// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop must allow: launch at login (first-run default, the switch), and the
// extension and the account's folder, checked on the activity tick, with the card's button that
// turns both back on.
#include "LogCapture.h"
#include "ModelHarness.h"
#include "config/OrvelanNimbal.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using LoginStatus = LoginItem::Status;

namespace {

const QString ana = ModelHarness::account;
const QByteArray on = "+    " + fileProviderBundleIdentifier.toUtf8() + "(1.0)\n";
const QByteArray off = "-    " + fileProviderBundleIdentifier.toUtf8() + "(1.0)\n";

} // namespace

class TestModelApprovals : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void launchAtLoginDefault_data();
    void launchAtLoginDefault();
    void launchAtLoginSwitch_data();
    void launchAtLoginSwitch();
    void firstCheck_data();
    void firstCheck();
    void checkCadence();
    void reactivate();
    void openSettings();
};

void TestModelApprovals::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestModelApprovals::launchAtLoginDefault_data()
{
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<LoginStatus>("system");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<int>("registrations");
    QTest::addColumn<bool>("launchAtLogin");
    QTest::addColumn<bool>("needsApproval");
    QTest::addColumn<QString>("log");

    QTest::newRow("first run: registered")
        << false << LoginStatus::notRegistered << false << 1 << true << false
        << u"app: Ouverture à l'ouverture de session activée."_s;
    QTest::newRow("first run: registration fails, not retried")
        << false << LoginStatus::notRegistered << true << 1 << false << false
        << u"app: Ouverture à l'ouverture de session impossible : accès refusé"_s;
    QTest::newRow("chosen before: left as the user set it")
        << true << LoginStatus::notRegistered << false << 0 << false << false << QString();
    QTest::newRow("waiting for approval")
        << true << LoginStatus::requiresApproval << false << 0 << true << true << QString();
    QTest::newRow("entry for another program")
        << true << LoginStatus::notFound << false << 0 << false << false << QString();
}

void TestModelApprovals::launchAtLoginDefault()
{
    QFETCH(bool, chosen);
    QFETCH(LoginStatus, system);
    QFETCH(bool, fails);
    QFETCH(int, registrations);
    QFETCH(bool, launchAtLogin);
    QFETCH(bool, needsApproval);
    QFETCH(QString, log);

    ModelHarness harness;
    harness.preferences->setLaunchAtLoginChosen(chosen);
    harness.loginItem->state = system;
    if (fails)
        harness.loginItem->failure = u"accès refusé"_s;
    LogCapture capture;
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    QCOMPARE(harness.loginItem->registrations, registrations);
    QCOMPARE(model.launchAtLogin(), launchAtLogin);
    QCOMPARE(model.launchAtLoginNeedsApproval(), needsApproval);
    QVERIFY(harness.preferences->launchAtLoginChosen());
    QCOMPARE(capture.lines().filter(u"ouverture de session"_s),
             log.isEmpty() ? QStringList() : QStringList{log});

    // Signed in again in the same run: decided already.
    model.signOut();
    runAsync(model.whenIdle());
    harness.answers.insert(u"/auth/login-jmap"_s, [] { return ModelHarness::session(); });
    model.signIn(ana, u"mot de passe"_s);
    runAsync(model.whenIdle());
    QCOMPARE(harness.loginItem->registrations, registrations);
}

void TestModelApprovals::launchAtLoginSwitch_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<bool>("shown");

    QTest::newRow("on") << true << false << true;
    QTest::newRow("off") << false << false << false;
    QTest::newRow("on, refused: the switch falls back") << true << true << false;
    QTest::newRow("off, refused: the switch stays on") << false << true << true;
}

void TestModelApprovals::launchAtLoginSwitch()
{
    QFETCH(bool, enabled);
    QFETCH(bool, fails);
    QFETCH(bool, shown);

    ModelHarness harness;
    harness.loginItem->state = enabled ? LoginStatus::notRegistered : LoginStatus::enabled;
    AppModel &model = harness.start();
    model.refreshLaunchAtLogin();
    if (fails)
        harness.loginItem->failure = u"accès refusé"_s;
    LogCapture log;
    model.setLaunchAtLogin(enabled);
    QCOMPARE(model.launchAtLogin(), shown);
    QVERIFY(harness.preferences->launchAtLoginChosen());
    QCOMPARE(log.lines(), fails ? QStringList{u"app: Réglage de l'ouverture automatique "
                                              "impossible : accès refusé"_s}
                                : QStringList());
}

void TestModelApprovals::firstCheck_data()
{
    QTest::addColumn<int>("domain");        // 1 on, 0 switched off, -1 the system cannot tell
    QTest::addColumn<QByteArray>("status"); // of the extension's tool; empty: no tool
    QTest::addColumn<bool>("needed");
    QTest::addColumn<QStringList>("log");

    const QString waiting =
        u"app: Autorisation attendue dans les Réglages (domaine %1, extension %2)."_s;
    QTest::newRow("both on") << 1 << on << false
                             << QStringList{
                                    u"app: Autorisations : domaine actif, extension active"_s};
    QTest::newRow("folder switched off")
        << 0 << on << true
        << QStringList{u"app: Autorisations : domaine désactivé, extension active"_s,
                       waiting.arg(u"désactivé"_s, u"active"_s)};
    QTest::newRow("extension switched off")
        << 1 << off << true
        << QStringList{u"app: Autorisations : domaine actif, extension désactivée"_s,
                       waiting.arg(u"actif"_s, u"coupée"_s)};
    QTest::newRow("unknown counts as fine")
        << -1 << QByteArray() << false
        << QStringList{u"app: Autorisations : domaine inconnu, extension inconnue"_s};
    QTest::newRow("an unknown never hides a known off")
        << -1 << off << true
        << QStringList{u"app: Autorisations : domaine inconnu, extension désactivée"_s,
                       waiting.arg(u"actif"_s, u"coupée"_s)};
}

void TestModelApprovals::firstCheck()
{
    QFETCH(int, domain);
    QFETCH(QByteArray, status);
    QFETCH(bool, needed);
    QFETCH(QStringList, log);

    ModelHarness harness;
    if (!status.isEmpty())
        harness.setExtensionStatus(status);
    harness.system->addDomain({ana, ana, domain != 0}, [](auto) {});
    settle();
    LogCapture capture;
    harness.storeSession();
    harness.start();
    // Restored and mounted; the first tick waits for the system's progress objects. The list
    // fails from here, so that only the check meets it.
    if (domain < 0)
        harness.system->failDomainList(
            FileProviderError{u"test.Failed"_s, u"Liste indisponible."_s});
    waitUntil([&] { return harness.ticks() == 1; });
    AppModel &model = *harness.model;
    QCOMPARE(model.extensionNeedsApproval(), needed);
    QCOMPARE(model.statusText(), needed ? u"En attente d'autorisation"_s : u"Nimbal à jour"_s);
    QCOMPARE(capture.lines().filter(u"Autorisation"_s), log);
    QCOMPARE(harness.extensionRuns(), status.isEmpty() ? 0 : 1);
}

void TestModelApprovals::checkCadence()
{
    ModelHarness harness;
    harness.setExtensionStatus(on);
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    LogCapture log;

    // All allowed: ticks 1, 16, 31.
    while (harness.ticks() < 31)
        harness.nextTick();
    QCOMPARE(harness.extensionRuns(), 3);

    // The folder switched off in the settings: seen at tick 46, then checked on every tick.
    harness.system->switchDomain(ana, false);
    while (harness.ticks() < 45)
        harness.nextTick();
    QVERIFY(!model.extensionNeedsApproval());
    harness.nextTick();
    QVERIFY(model.extensionNeedsApproval());
    QCOMPARE(harness.extensionRuns(), 4);
    harness.nextTick();
    harness.nextTick();
    QCOMPARE(harness.extensionRuns(), 6);

    // Switched back on: the next tick clears the card and signals the system.
    const int signalsSent = harness.system->signalCount();
    harness.system->switchDomain(ana, true);
    harness.nextTick();
    QVERIFY(!model.extensionNeedsApproval());
    QCOMPARE(log.count(u"app: Autorisations données : relecture du Nimbal."_s), 1);
    harness.clock().advance(500ms);
    waitUntil([&] { return harness.system->signalCount() == signalsSent + 1; });
    harness.nextTick();
    QCOMPARE(harness.extensionRuns(), 7); // back to every 15th tick
}

void TestModelApprovals::reactivate()
{
    ModelHarness harness;
    harness.setExtensionStatus(off);
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    harness.system->switchDomain(ana, false);
    harness.nextTick();
    QVERIFY(model.extensionNeedsApproval());

    // The card's button: the tool turns its service back on (here: it now answers "+"), and
    // the account's folder is switched on through the system.
    harness.setExtensionStatus(on);
    model.reactivate();
    runAsync(model.whenIdle());
    QVERIFY(harness.system->calls().contains(u"enable "_s + ana));
    QVERIFY(harness.system->registered().first().userEnabled);
    QFile runs(QDir(harness.folder.path()).filePath(u"runs"_s));
    QVERIFY(runs.open(QIODevice::ReadOnly));
    QVERIFY(runs.readAll().split('\n').contains("enable"));

    harness.nextTick();
    QVERIFY(!model.extensionNeedsApproval());
    QCOMPARE(model.statusText(), u"Nimbal à jour"_s);
}

void TestModelApprovals::openSettings()
{
    ModelHarness harness;
    harness.start().openSettings();
    QCOMPARE(harness.desktop->settingsShown, 1);
}

QTEST_GUILESS_MAIN(TestModelApprovals)
#include "test_model_approvals.moc"
