// SPDX-License-Identifier: GPL-3.0-or-later
// The model while signed in: signals and their coalescing, the safety signal and the wake-up,
// the stream's statuses, the activity tick (transfer text, summary), the manual refresh, the
// conflict banner and the drive's folder. Time is the manual clock's: a minute takes none.
#include "LogCapture.h"
#include "ModelHarness.h"
#include "config/OrvelanNimbal.h"
#include "sync/DomainSummary.h"

#include <QDir>
#include <QLocale>
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

QDateTime at(int hour, int minute)
{
    return QDateTime(QDate(2024, 3, 5), QTime(hour, minute), QTimeZone::utc());
}

void writeSummary(const QList<DomainSummary::Conflict> &conflicts, QSet<qint64> archived = {})
{
    DomainSummary summary;
    summary.conflicts = conflicts;
    summary.archivedFileIDs = std::move(archived);
    summary.save(summaryURL(ana));
}

DomainSummary::Conflict conflict(const QString &name, const QDateTime &date)
{
    return {name, name + u" (conflit)"_s, date};
}

} // namespace

class TestModelLiveSync : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void burstOfChangesMakesTwoSignals();
    void wakeAndSafetySignals();
    void liveStatuses();
    void transferLabelFollowsProgress();
    void summaryEveryFifthTick();
    void refreshNow();
    void conflictBanner();
    void openInFinder_data();
    void openInFinder();
};

void TestModelLiveSync::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
}

void TestModelLiveSync::init()
{
    removeLocalState(ana);
}

void TestModelLiveSync::burstOfChangesMakesTwoSignals()
{
    ModelHarness harness;
    harness.signedInAndLive();
    QCOMPARE(harness.system->signalCount(), 1); // the one of startLive, after its debounce
    QCOMPARE(harness.clock().sleeps().count(500ms), 1);

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
    // None waits for stabilisation: only the manual refresh does.
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

    // The safety signal: every 300 s, with no change at all.
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
    const auto shown = model.property("liveStatus").value<LiveStatusInfo>();
    QCOMPARE(shown.kind(), LiveStatusInfo::Kind::Disconnected);
    QCOMPARE(shown.retryIn(), 10);

    // A refused token ends the session for the user, but the periodic work goes on.
    harness.live.status(Status::unauthorized());
    QCOMPARE(model.status(), AppStatus::failed(u"Session expirée : reconnectez-vous."_s));
    QCOMPARE(model.statusText(), u"Session expirée : reconnectez-vous."_s);
    const int ticks = harness.ticks();
    harness.nextTick();
    QCOMPARE(harness.ticks(), ticks + 1);
}

void TestModelLiveSync::transferLabelFollowsProgress()
{
    ModelHarness harness;
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    LogCapture log;
    SettableProgress &upload = harness.system->progress(FileProviderTransferKind::upload);

    upload.set(false, 10, 0.424);
    harness.nextTick();
    QCOMPARE(model.transferLabel(), u"Envoi en cours… 42 %"_s);
    QCOMPARE(model.property("transferLabel").toString(), u"Envoi en cours… 42 %"_s);
    harness.nextTick(); // unchanged: not logged again
    upload.set(true, 10, 1.0);
    harness.nextTick();
    QCOMPARE(model.transferLabel(), std::nullopt);
    QCOMPARE(model.property("transferLabel").toString(), QString());
    QCOMPARE(log.lines().filter(u"Indicateur"_s),
             (QStringList{u"app: Indicateur de transfert : Envoi en cours… 42 %"_s,
                          u"app: Indicateur de transfert : au repos"_s}));
    // The system's progress objects are asked for once.
    QCOMPARE(harness.system->calls().filter(u"manager"_s).size(), 2); // the tick's, the signal's
}

void TestModelLiveSync::summaryEveryFifthTick()
{
    ModelHarness harness;
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    QCOMPARE(model.summary(), std::nullopt); // none written when the quota was loaded

    writeSummary({}, {4, 8, 15});
    for (int tick = 2; tick <= 4; ++tick) {
        harness.nextTick();
        QCOMPARE(model.summary(), std::nullopt);
    }
    harness.nextTick(); // the fifth
    waitUntil([&] { return model.summary().has_value(); });
    QCOMPARE(model.summary()->archivedFileCount(), 3);
    QCOMPARE(model.property("summary").value<SummaryInfo>().archivedLabel(),
             *model.summary()->archivedLabel());

    // A file gone is a summary gone.
    removeLocalState(ana);
    for (int tick = 6; tick <= 10; ++tick)
        harness.nextTick();
    waitUntil([&] { return !model.summary(); });
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
    QCOMPARE(model.lastSyncSignal(), std::nullopt);
    QCOMPARE(model.lastSyncText(), std::nullopt);

    // The system never settles: the refresh gives up after a minute and reloads the quota.
    harness.clock().advance(60s);
    runAsync(model.whenIdle());
    QVERIFY(!model.isSynchronizing());
    QCOMPARE(harness.requestCount(u"/drive/quota"_s), quotaReads + 1);
    QCOMPARE(model.lastSyncSignal(), harness.clock().currentDateTime());
    QCOMPARE(model.lastSyncText(), u"Actualisé à 14:08"_s);
    QCOMPARE(model.property("lastSyncText").toString(), u"Actualisé à 14:08"_s);
    QCOMPARE(harness.system->calls().filter(u"stabilize"_s).size(), 1);

    // A failed quota read hides the bar.
    harness.answers.insert(u"/drive/quota"_s, [] { return FakeTransport::Reply::withStatus(404); });
    harness.system->setStabilizing(true);
    model.refreshNow();
    runAsync(model.whenIdle());
    QCOMPARE(model.quota(), std::nullopt);
    QVERIFY(!model.property("quota").isValid());

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
    const QString label = u"Conflit sur « Rapport.docx »"_s;
    writeSummary({conflict(u"Rapport.docx"_s, at(10, 0)), conflict(u"Vieux.txt"_s, at(9, 0))});
    harness.signedInAndLive();
    AppModel &model = *harness.model;
    QVERIFY(model.conflictText().value_or(QString()).startsWith(label));
    QCOMPARE(model.conflictText(), model.summary()->lastConflictLabel());

    int changes = 0;
    connect(&model, &AppModel::conflictTextChanged, &model, [&] { ++changes; });
    model.dismissConflicts();
    QCOMPARE(changes, 1);
    QCOMPARE(model.conflictText(), std::nullopt);
    QCOMPARE(model.property("conflictText").toString(), QString());
    QCOMPARE(harness.preferences->conflictDismissedUntil(), double(at(10, 0).toSecsSinceEpoch()));

    // The same newest conflict stays hidden, also after the next reload; a newer one shows.
    model.refreshNow();
    runAsync(model.whenIdle());
    QCOMPARE(model.conflictText(), std::nullopt);
    writeSummary(
        {conflict(u"Budget.xlsx"_s, at(10, 0).addSecs(1)), conflict(u"Rapport.docx"_s, at(10, 0))});
    model.refreshNow();
    runAsync(model.whenIdle());
    QVERIFY(model.conflictText().value_or(QString()).startsWith(u"Conflit sur « Budget.xlsx »"_s));
}

void TestModelLiveSync::openInFinder_data()
{
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<QString>("systemFolder"); // "" when the system knows none
    QTest::addColumn<QString>("opened");

    const QString accounts = QDir::home().filePath(u"Nimbal"_s);
    QTest::newRow("the domain's folder")
        << true << u"/home/ana/Nimbal/ana@orvelan.net"_s << u"/home/ana/Nimbal/ana@orvelan.net"_s;
    QTest::newRow("folder unknown") << true << QString() << accounts;
    QTest::newRow("signed out") << false << u"/ailleurs"_s << accounts;
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
