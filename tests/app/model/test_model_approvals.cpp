// SPDX-License-Identifier: GPL-3.0-or-later
// What the desktop must allow: launch at login (the first-run default, the switch), and the
// extension and the account's folder, checked on the activity tick, with the approval card's
// button that turns both back on.
#include "LogCapture.h"
#include "ModelHarness.h"
#include "config/OrvelanNimbal.h"

#include <QStandardPaths>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using LoginStatus = LoginItem::Status;

namespace {

const QString ana = ModelHarness::account;
const QByteArray on = "+    " + fileProviderBundleIdentifier.toUtf8() + "(1.0)";
const QByteArray off = "-    " + fileProviderBundleIdentifier.toUtf8() + "(1.0)";

} // namespace

class TestModelApprovals : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void launchAtLogin_data();
    void launchAtLogin();
    void firstCheck_data();
    void firstCheck();
    void checkCadence();
    void reactivate();
};

void TestModelApprovals::launchAtLogin_data()
{
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<LoginStatus>("system");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<int>("registrations");
    QTest::addColumn<QList<bool>>("flags"); // launchAtLogin, needs approval; after switching off
    QTest::addColumn<QStringList>("log");

    const QString failedSwitch =
        u"app: Réglage de l'ouverture automatique impossible : accès refusé"_s;
    QTest::newRow("first run: registered")
        << false << LoginStatus::notRegistered << false << 1 << QList{true, false, false}
        << QStringList{u"app: Ouverture à l'ouverture de session activée."_s};
    QTest::newRow("first run: refused, not retried, the switch shows the truth")
        << false << LoginStatus::notRegistered << true << 1 << QList{false, false, false}
        << QStringList{u"app: Ouverture à l'ouverture de session impossible : accès refusé"_s,
                       failedSwitch};
    QTest::newRow("chosen before: left as it is")
        << true << LoginStatus::notRegistered << false << 0 << QList{false, false, false}
        << QStringList();
    QTest::newRow("waiting for approval") << true << LoginStatus::requiresApproval << false << 0
                                          << QList{true, true, false} << QStringList();
    QTest::newRow("switched off, refused: stays on")
        << true << LoginStatus::enabled << true << 0 << QList{true, false, true}
        << QStringList{failedSwitch};
}

void TestModelApprovals::launchAtLogin()
{
    QFETCH(bool, chosen);
    QFETCH(LoginStatus, system);
    QFETCH(bool, fails);
    QFETCH(int, registrations);
    QFETCH(QList<bool>, flags);
    QFETCH(QStringList, log);

    ModelHarness harness;
    harness.preferences->setLaunchAtLoginChosen(chosen);
    harness.loginItem->state = system;
    if (fails)
        harness.loginItem->failure = u"accès refusé"_s;
    LogCapture capture;
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    QCOMPARE(harness.loginItem->registrations, registrations);
    QCOMPARE(model.launchAtLogin(), flags[0]);
    QCOMPARE(model.launchAtLoginNeedsApproval(), flags[1]);
    QVERIFY(harness.preferences->launchAtLoginChosen());

    model.setLaunchAtLogin(false);
    QCOMPARE(model.launchAtLogin(), flags[2]);
    QCOMPARE(capture.lines().filter(u"ouverture"_s, Qt::CaseInsensitive), log);
}

void TestModelApprovals::firstCheck_data()
{
    QTest::addColumn<int>("domain");        // 1 on, 0 switched off, -1 the system cannot tell
    QTest::addColumn<QByteArray>("status"); // of the extension's tool; empty: no tool
    QTest::addColumn<QStringList>("log");

    const QString first = u"app: Autorisations : domaine %1, extension %2"_s;
    const QString waiting =
        u"app: Autorisation attendue dans les Réglages (domaine %1, extension %2)."_s;
    QTest::newRow("both on") << 1 << on << QStringList{first.arg(u"actif"_s, u"active"_s)};
    QTest::newRow("folder switched off") << 0 << on
                                         << QStringList{first.arg(u"désactivé"_s, u"active"_s),
                                                        waiting.arg(u"désactivé"_s, u"active"_s)};
    QTest::newRow("extension switched off") << 1 << off
                                            << QStringList{first.arg(u"actif"_s, u"désactivée"_s),
                                                           waiting.arg(u"actif"_s, u"coupée"_s)};
    QTest::newRow("unknown counts as fine")
        << -1 << QByteArray() << QStringList{first.arg(u"inconnu"_s, u"inconnue"_s)};
    QTest::newRow("an unknown never hides a known off")
        << -1 << off
        << QStringList{first.arg(u"inconnu"_s, u"désactivée"_s),
                       waiting.arg(u"actif"_s, u"coupée"_s)};
}

void TestModelApprovals::firstCheck()
{
    QFETCH(int, domain);
    QFETCH(QByteArray, status);
    QFETCH(QStringList, log);

    ModelHarness harness;
    if (!status.isEmpty())
        harness.setExtensionStatus(status);
    harness.system->registerDomain({ana, ana, domain != 0});
    LogCapture capture;
    harness.storeSession();
    harness.start();
    // Restored and mounted; the first tick waits for the system's progress objects, so a list
    // failing from here is met by the check alone.
    if (domain < 0)
        harness.system->fail(u"domains"_s, u"Liste indisponible."_s);
    waitUntil([&] { return harness.ticks() == 1; });
    const bool needed = log.size() == 2;
    QCOMPARE(harness.model->extensionNeedsApproval(), needed);
    QCOMPARE(harness.model->statusText(),
             needed ? u"En attente d'autorisation"_s : u"Nimbal à jour"_s);
    QCOMPARE(capture.lines().filter(u"Autorisation"_s), log);
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
    QCOMPARE(harness.extensionRuns().size(), 3);

    // The folder switched off in the settings: seen at tick 46, then checked on every tick.
    harness.system->switchDomain(ana, false);
    while (harness.ticks() < 45)
        harness.nextTick();
    QVERIFY(!model.extensionNeedsApproval());
    harness.nextTick();
    QVERIFY(model.extensionNeedsApproval());
    harness.nextTick();
    harness.nextTick();
    QCOMPARE(harness.extensionRuns().size(), 6);

    // Switched back on: the next tick clears the card and signals the system.
    const int signalsSent = harness.system->signalCount();
    harness.system->switchDomain(ana, true);
    harness.nextTick();
    QVERIFY(!model.extensionNeedsApproval());
    QCOMPARE(log.count(u"app: Autorisations données : relecture du Nimbal."_s), 1);
    harness.clock().advance(500ms);
    waitUntil([&] { return harness.system->signalCount() == signalsSent + 1; });
    harness.nextTick();
    QCOMPARE(harness.extensionRuns().size(), 7); // back to every 15th tick
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

    // The card's button: the tool turns its service back on (it answers "+" from then on) and
    // the account's folder is switched on through the system.
    harness.setExtensionStatus(on);
    model.reactivate();
    runAsync(model.whenIdle());
    QCOMPARE(harness.extensionRuns().constLast(), "enable");
    QVERIFY(harness.system->registered().first().userEnabled);
    harness.nextTick();
    QVERIFY(!model.extensionNeedsApproval());
}

QTEST_GUILESS_MAIN(TestModelApprovals)
#include "test_model_approvals.moc"
