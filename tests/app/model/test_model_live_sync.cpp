// SPDX-License-Identifier: GPL-3.0-or-later
// The model while signed in: signals and their coalescing, the safety signal and the wake-up,
// the stream's statuses, the activity tick, the manual refresh, the conflict banner, the pause
// and the drive's folder. Time is the manual clock's: a minute takes none.
#include "LogCapture.h"
#include "ModelHarness.h"
#include "config/OrvelanNimbal.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimeZone>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using Status = DriveEventStream::Status;

namespace {

const QString ana = ModelHarness::account;

// The extension's summary, conflicts newest first, each at the given minute of 10 o'clock.
void writeSummary(const QList<std::pair<QString, int>> &conflicts, QSet<qint64> archived = {})
{
    DomainSummary summary;
    for (const auto &[name, minute] : conflicts)
        summary.conflicts.append(
            {name, name + u" (copie)"_s,
             QDateTime(QDate(2024, 3, 5), QTime(10, minute), QTimeZone::utc())});
    summary.archivedFileIDs = std::move(archived);
    summary.save(summaryURL(ana));
}

} // namespace

class TestModelLiveSync : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { removeLocalState(ana); }
    void burstOfChangesMakesTwoSignals();
    void wakeAndSafetySignals();
    void liveStatuses();
    void backAfterDropSignals_data();
    void backAfterDropSignals();
    void endedLoopIsLoggedAndRestarted_data();
    void endedLoopIsLoggedAndRestarted();
    void activityTick();
    void refreshNow();
    void conflictBanner();
    void pause();
    void pauseFromAnEarlierRun();
    void openInFinder_data();
    void openInFinder();
};

void TestModelLiveSync::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
}

void TestModelLiveSync::burstOfChangesMakesTwoSignals()
{
    ModelHarness harness;
    harness.signedInAndLive(); // the signal of startLive, after its debounce

    // Ten notices within 0.1 s: one signal after the debounce, one more once it is done.
    for (int notice = 0; notice < 10; ++notice) {
        harness.live.change();
        harness.clock().advance(10ms);
        settle();
    }
    harness.clock().advance(490ms);
    waitUntil([&] { return harness.system->signalCount() == 2; });
    settle();
    harness.clock().advance(500ms);
    waitUntil([&] { return harness.system->signalCount() == 3; });
    harness.clock().advance(10s);
    settle();
    QCOMPARE(harness.system->signalCount(), 3);
    // None of them waits for stabilisation: only the manual refresh does.
    QCOMPARE(harness.system->calls().filter(u"stabilize"_s), QStringList());
}

void TestModelLiveSync::wakeAndSafetySignals()
{
    ModelHarness harness;
    LogCapture log;
    harness.signedInAndLive();

    emit harness.wake->woke();
    settle();
    harness.clock().advance(500ms);
    waitUntil([&] { return harness.system->signalCount() == 2; });
    // Every 300 s, with no change at all.
    harness.clock().advance(299s);
    settle();
    QCOMPARE(harness.system->signalCount(), 2);
    harness.clock().advance(1s);
    settle();
    harness.clock().advance(500ms);
    waitUntil([&] { return harness.system->signalCount() == 3; });
    QCOMPARE(log.count(u"app: Signal envoyé au système."_s), 3);
}

void TestModelLiveSync::liveStatuses()
{
    ModelHarness harness;
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    LogCapture log;

    for (const Status status : {Status::connected(), Status::connected(), Status::disconnected(5),
                                Status::disconnected(10), Status::disconnected(10)})
        harness.live.status(status);
    QCOMPARE(log.lines(), (QStringList{u"app: Temps réel : connected"_s,
                                       u"app: Temps réel : disconnected(retryIn: 5)"_s,
                                       u"app: Temps réel : disconnected(retryIn: 10)"_s}));
    QCOMPARE(model.liveStatus(), Status::disconnected(10));

    // A refused token ends the session for the user; the periodic work goes on.
    harness.live.status(Status::unauthorized());
    QCOMPARE(model.status(), AppStatus::failed(u"Session expirée : reconnectez-vous."_s));
    QCOMPARE(model.statusText(), u"Session expirée : reconnectez-vous."_s);
    harness.nextTick();
}

void TestModelLiveSync::backAfterDropSignals_data()
{
    // The stream's statuses in turn, each letter one: c connected, d disconnected (retry in 5 s).
    QTest::addColumn<QString>("statuses");
    QTest::addColumn<int>("more"); // signals beyond the one of the start

    QTest::newRow("first connection: the start's signal is enough") << u"c"_s << 0;
    QTest::newRow("connected again without a drop") << u"cc"_s << 0;
    QTest::newRow("back after a drop") << u"cdc"_s << 1;
    QTest::newRow("back after several retries") << u"cddc"_s << 1;
    QTest::newRow("still down") << u"cdd"_s << 0;
    QTest::newRow("two returns while the first is in flight: one more") << u"cdcdc"_s << 2;
    QTest::newRow("three returns still make one more") << u"cdcdcdc"_s << 2;
}

void TestModelLiveSync::backAfterDropSignals()
{
    QFETCH(QString, statuses);
    QFETCH(int, more);

    ModelHarness harness;
    harness.signedInAndLive();
    for (const QChar status : statuses) {
        harness.live.status(status == u'c' ? Status::connected() : Status::disconnected(5));
        settle();
    }
    // Changes made while the stream was down reach the system after one debounce, not at the
    // next safety signal; returns in a burst go through the same coalescing as change notices.
    for (int round = 0; round < 3; ++round) {
        harness.clock().advance(500ms);
        settle();
    }
    QCOMPARE(harness.system->signalCount(), 1 + more);
}

void TestModelLiveSync::endedLoopIsLoggedAndRestarted_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<int>("runs"); // of the stream, once the pause is over

    QTest::newRow("the stream returns by itself")
        << u"returns"_s << u"app: Tâche « temps réel » terminée d'elle-même : elle repart."_s << 2;
    QTest::newRow("the stream fails")
        << u"throws"_s
        << u"app: Tâche « temps réel » interrompue : coupure simulée ; elle repart."_s << 2;
    QTest::newRow("the service refused the session: it stays stopped")
        << u"unauthorized"_s << u"app: Tâche « temps réel » terminée : session refusée."_s << 1;
}

void TestModelLiveSync::endedLoopIsLoggedAndRestarted()
{
    QFETCH(QString, end);
    QFETCH(QString, logged);
    QFETCH(int, runs);

    ModelHarness harness;
    harness.signedInAndLive();
    LogCapture log;
    if (end == u"unauthorized")
        harness.live.status(Status::unauthorized());
    harness.live.finish(end == u"throws" ? std::optional(u"coupure simulée"_s) : std::nullopt);
    settle();
    QVERIFY2(log.lines().contains(logged), qPrintable(log.lines().join(u'\n')));
    QCOMPARE(harness.live.runs(), 1);

    harness.clock().advance(5s);
    settle();
    QCOMPARE(harness.live.runs(), runs);
    // Started again, the stream's notices signal as before.
    if (runs == 2) {
        const int before = harness.system->signalCount();
        harness.live.change();
        settle();
        harness.clock().advance(500ms);
        waitUntil([&] { return harness.system->signalCount() == before + 1; });
    }
}

void TestModelLiveSync::activityTick()
{
    ModelHarness harness;
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    LogCapture log;
    const auto upload = [&](bool finished, double fraction) {
        harness.system->setProgress(FileProviderTransferKind::upload,
                                    {finished, 10, qint64(fraction * 10), fraction});
    };

    // The transfer text follows the system's progress, logged when it changes.
    upload(false, 0.424);
    harness.nextTick();
    QCOMPARE(model.transferLabel(), u"Envoi en cours… 42 %"_s);
    harness.nextTick();
    upload(true, 1.0);
    writeSummary({}, {4, 8, 15});
    harness.nextTick();
    QCOMPARE(model.transferLabel(), std::nullopt);
    QCOMPARE(log.lines().filter(u"Indicateur"_s),
             (QStringList{u"app: Indicateur de transfert : Envoi en cours… 42 %"_s,
                          u"app: Indicateur de transfert : au repos"_s}));

    // The summary is read on every fifth tick only (the tick waits for it).
    QCOMPARE(model.summary(), std::nullopt);
    harness.nextTick();
    QCOMPARE(model.summary().value_or(DomainSummary()).archivedFileCount(), 3);
    removeLocalState(ana);
    for (int tick = 6; tick < 10; ++tick)
        harness.nextTick();
    QVERIFY(model.summary());
    harness.nextTick();
    QCOMPARE(model.summary(), std::nullopt);
}

void TestModelLiveSync::refreshNow()
{
    ModelHarness harness;
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    harness.system->setStabilizing(false);
    const qsizetype quotaReads = harness.requestCount(u"/drive/quota"_s);

    model.refreshNow();
    model.refreshNow(); // pressed twice: runs once
    waitUntil([&] { return harness.system->heldStabilizations() == 1; });
    QVERIFY(model.isSynchronizing());
    QCOMPARE(model.lastSyncText(), std::nullopt);

    // The system never settles: the refresh gives up after a minute, then reloads the quota.
    harness.clock().advance(60s);
    runAsync(model.whenIdle());
    QVERIFY(!model.isSynchronizing());
    QCOMPARE(harness.requestCount(u"/drive/quota"_s), quotaReads + 1);
    QCOMPARE(model.lastSyncSignal(), harness.clock().currentDateTime());
    QCOMPARE(model.lastSyncText(), u"Actualisé à 14:08"_s);
    QCOMPARE(harness.system->calls().filter(u"stabilize"_s).size(), 1);

    // A quota that cannot be read hides the bar.
    harness.answers.insert(u"/drive/quota"_s, [] { return FakeTransport::Reply::withStatus(404); });
    harness.system->setStabilizing(true);
    model.refreshNow();
    runAsync(model.whenIdle());
    QCOMPARE(model.quota(), std::nullopt);

    // Signed out: nothing to refresh.
    model.signOut();
    runAsync(model.whenIdle());
    const QStringList calls = harness.system->calls();
    model.refreshNow();
    runAsync(model.whenIdle());
    QCOMPARE(harness.system->calls(), calls);
}

void TestModelLiveSync::conflictBanner()
{
    ModelHarness harness;
    writeSummary({{u"Rapport.docx"_s, 0}, {u"Vieux.txt"_s, 0}});
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    QVERIFY(model.conflictText().value_or(QString()).contains(u"Rapport.docx"_s));

    int changes = 0;
    connect(&model, &AppModel::conflictTextChanged, &model, [&] { ++changes; });
    model.dismissConflicts();
    QCOMPARE(changes, 1);
    QCOMPARE(model.conflictText(), std::nullopt);
    QCOMPARE(
        harness.preferences->conflictDismissedUntil(),
        double(QDateTime(QDate(2024, 3, 5), QTime(10, 0), QTimeZone::utc()).toSecsSinceEpoch()));

    // The same newest conflict stays hidden after a reload; a newer one shows again.
    model.refreshNow();
    runAsync(model.whenIdle());
    QCOMPARE(model.conflictText(), std::nullopt);
    writeSummary({{u"Budget.xlsx"_s, 1}, {u"Rapport.docx"_s, 0}});
    model.refreshNow();
    runAsync(model.whenIdle());
    QVERIFY(model.conflictText().value_or(QString()).contains(u"Budget.xlsx"_s));
}

void TestModelLiveSync::pause()
{
    ModelHarness harness;
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    QCOMPARE(model.statusText(), u"Nimbal à jour"_s);

    // Paused elsewhere (in a terminal) with an end: the system's notice is enough, no tick
    // needed, and the end is shown.
    const QDateTime until = harness.clock().currentDateTime().addSecs(3600);
    harness.system->setPause(ana, {true, until});
    QVERIFY(model.syncPaused());
    QVERIFY(model.pause().until == until);
    QCOMPARE(model.statusText(),
             u"Synchronisation en pause jusqu'à "_s + until.toLocalTime().toString(u"HH:mm"_s));
    // Another account's pause is not this one's.
    harness.system->setPause(u"other@orvelan.net"_s, {false, std::nullopt});
    QVERIFY(model.syncPaused());

    // Resumed and paused again from the tray menu: the line follows at once.
    int lines = 0;
    connect(&model, &AppModel::statusTextChanged, &model, [&] { ++lines; });
    model.setSyncPaused(false);
    runAsync(model.whenIdle());
    QVERIFY(!model.syncPaused());
    QCOMPARE(model.statusText(), u"Nimbal à jour"_s);
    model.setSyncPaused(true);
    runAsync(model.whenIdle());
    QCOMPARE(model.statusText(), u"Synchronisation en pause"_s);
    QCOMPARE(lines, 2);
    QCOMPARE(harness.system->calls().filter(QRegularExpression(u"^(pause|resume) "_s)),
             (QStringList{u"resume "_s + ana, u"pause "_s + ana}));

    // A refusal leaves the pause as the system has it, and says why in the log.
    LogCapture log;
    harness.system->fail(u"resume"_s, u"Le service de synchronisation est désactivé."_s);
    model.setSyncPaused(false);
    runAsync(model.whenIdle());
    QVERIFY(model.syncPaused());
    QCOMPARE(log.lines().filter(u"Reprise impossible"_s).size(), 1);

    // The system was asked once, at the start: ticks read nothing more.
    for (int tick = 0; tick < 6; ++tick)
        harness.nextTick();
    QCOMPARE(harness.system->calls().filter(u"pause-state "_s),
             QStringList{u"pause-state "_s + ana});

    // Signed out, the pause is nobody's.
    model.signOut();
    runAsync(model.whenIdle());
    QVERIFY(!model.syncPaused());
    QCOMPARE(model.statusText(), u"Non connecté"_s);
}

void TestModelLiveSync::pauseFromAnEarlierRun()
{
    // Paused before the application started (the extension keeps it across restarts).
    ModelHarness harness;
    harness.system->registerDomain({ana, ana, true});
    harness.system->setPause(ana, {true, std::nullopt});
    harness.signedInAndLive();
    QVERIFY(harness.model->syncPaused());
    QCOMPARE(harness.model->statusText(), u"Synchronisation en pause"_s);
}

void TestModelLiveSync::openInFinder_data()
{
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<QString>("systemFolder"); // "" when the system knows none
    QTest::addColumn<QString>("opened");

    const QString accounts = QDir::home().filePath(u"Nimbal"_s);
    const QString own = u"/home/ana/Nimbal/ana@orvelan.net"_s;
    QTest::newRow("the domain's folder") << true << own << own;
    QTest::newRow("folder unknown") << true << QString() << accounts;
    QTest::newRow("signed out") << false << own << accounts;
}

void TestModelLiveSync::openInFinder()
{
    QFETCH(bool, signedIn);
    QFETCH(QString, systemFolder);
    QFETCH(QString, opened);

    ModelHarness harness;
    if (!systemFolder.isEmpty())
        harness.system->setUserVisibleFolder(systemFolder);
    if (signedIn)
        harness.signedInAndLive();
    else
        harness.start();
    harness.model->openInFinder();
    runAsync(harness.model->whenIdle());
    QCOMPARE(harness.desktop->opened, QList{QUrl::fromLocalFile(opened)});
}

QTEST_GUILESS_MAIN(TestModelLiveSync)
#include "test_model_live_sync.moc"
