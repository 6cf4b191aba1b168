// SPDX-License-Identifier: GPL-3.0-or-later
// The domain controller over the in-memory file-provider system: which domains a mount leaves,
// refusals, the signal and its bounded wait for stabilisation, the user's switch, the transfer
// text with its rounding and the domain looked up once per account, and the pause.
#include "AsyncTest.h"
#include "EventLoopWaits.h"
#include "InMemoryFileProviderSystem.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "domains/DomainController.h"
#include "domains/FileProviderFailure.h"

#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

const QString ana = u"ana@orvelan.net"_s;

struct Harness {
    std::shared_ptr<InMemoryFileProviderSystem> system;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(false);
    DomainController controller;
    CancellationSource cancel;

    explicit Harness(const QStringList &registered)
        : system(std::make_shared<InMemoryFileProviderSystem>())
        , controller(system, clock)
    {
        for (const QString &identifier : registered)
            system->registerDomain({identifier, identifier, true});
    }

    QStringList registered() const
    {
        QStringList names;
        for (const FileProviderDomain &domain : system->registered())
            names.append(domain.identifier);
        return names;
    }
    QStringList callsSince(qsizetype start) const { return system->calls().mid(start); }
};

} // namespace

class TestDomainController : public QObject {
    Q_OBJECT

private slots:
    void mount_data();
    void mount();
    void signal_data();
    void signal();
    void stabilizationTimesOut();
    void stabilizationAnswerAtTheDeadline();
    void transferText_data();
    void transferText();
    void progressCachedPerAccount();
    void pause_data();
    void pause();
};

void TestDomainController::mount_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("failing"); // a call of the system that fails
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("after");

    const QString add = u"add "_s + ana;
    QTest::newRow("first") << QStringList() << QString() << QStringList{u"domains"_s, add}
                           << QStringList{ana};
    QTest::newRow("others go first, in the system's order, the own one stays")
        << QStringList{u"bob"_s, ana, u"Ana@orvelan.net"_s} << QString()
        << QStringList{u"domains"_s, u"remove bob"_s, u"remove Ana@orvelan.net"_s, add}
        << QStringList{ana};
    QTest::newRow("list unavailable") << QStringList{u"bob"_s} << u"domains"_s
                                      << QStringList{u"domains"_s} << QStringList{u"bob"_s};
    QTest::newRow("a removal fails: the rest stays, nothing added")
        << QStringList{u"bob"_s, u"carl"_s} << u"remove bob"_s
        << QStringList{u"domains"_s, u"remove bob"_s} << QStringList{u"bob"_s, u"carl"_s};
    QTest::newRow("the add fails")
        << QStringList{u"bob"_s} << u"add"_s << QStringList{u"domains"_s, u"remove bob"_s, add}
        << QStringList();
}

void TestDomainController::mount()
{
    QFETCH(QStringList, before);
    QFETCH(QString, failing);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, after);

    Harness harness(before);
    const qsizetype start = harness.system->calls().size();
    if (!failing.isEmpty())
        harness.system->fail(failing, u"Le système a refusé."_s);
    LogCapture log;
    QString failure;
    try {
        runAsync(harness.controller.mount(ana, harness.cancel.token()));
    } catch (const FileProviderFailure &error) {
        failure = error.errorDescription();
    }
    QCOMPARE(failure, failing.isEmpty() ? QString() : u"Le système a refusé."_s);
    QCOMPARE(harness.callsSince(start), calls);
    QCOMPARE(harness.registered(), after);
    // The account is private, in the log as anywhere else.
    QCOMPARE(log.lines(), failing.isEmpty()
                              ? QStringList{u"domain: Domaine monté pour <private>"_s}
                              : QStringList());
    // What the others read of the same system.
    const bool listed = failing != u"domains" && after.contains(ana);
    QCOMPARE(runAsync(harness.controller.isMounted(ana, harness.cancel.token())), listed);
    QCOMPARE(runAsync(harness.controller.isUserEnabled(ana, harness.cancel.token())),
             listed ? std::optional(true) : std::nullopt);
}

void TestDomainController::signal_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<bool>("wait");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("accepted") << ana << QString() << false << true << QStringList();
    QTest::newRow("accepted and stable") << ana << QString() << true << true << QStringList();
    QTest::newRow("no such domain")
        << u"bob"_s << QString() << true << false
        << QStringList{u"domain: Domaine introuvable, signal ignoré."_s};
    QTest::newRow("refused") << ana << u"signal"_s << true << false
                             << QStringList{u"domain: Signal impossible : Refusé."_s};
    QTest::newRow("the wait fails") << ana << u"stabilize"_s << true << false
                                    << QStringList{u"domain: Actualisation : stabilisation non "
                                                   "confirmée dans le délai."_s};
}

void TestDomainController::signal()
{
    QFETCH(QString, account);
    QFETCH(QString, failing);
    QFETCH(bool, wait);
    QFETCH(bool, result);
    QFETCH(QStringList, log);

    Harness harness({ana});
    if (!failing.isEmpty())
        harness.system->fail(failing, u"Refusé."_s);
    LogCapture capture;
    QCOMPARE(runAsync(harness.controller.signal(account, wait, 60s, harness.cancel.token())),
             result);
    QCOMPARE(capture.lines(), log);
    // Only a signal that waits asks for stabilisation.
    QCOMPARE(harness.system->calls().filter(u"stabilize"_s).size(),
             wait && failing != u"signal" && account == ana ? 1 : 0);
}

void TestDomainController::stabilizationTimesOut()
{
    Harness harness({ana});
    harness.system->setStabilizing(false);
    std::optional<bool> result;
    [](Harness &harness, std::optional<bool> &result) -> QCoro::Task<> {
        result = co_await harness.controller.signal(ana, true, 60s, harness.cancel.token());
    }(harness, result);

    waitUntil([&] { return harness.system->heldStabilizations() == 1; });
    harness.clock->advance(59s);
    settle();
    QVERIFY(!result);
    harness.clock->advance(1s);
    waitUntil([&] { return result.has_value(); });
    QCOMPARE(*result, false);

    // The system's late answer finds the wait over and changes nothing.
    harness.system->completeStabilizations();
    settle();
    QCOMPARE(*result, false);
}

void TestDomainController::stabilizationAnswerAtTheDeadline()
{
    // The system answers in the very turn the deadline passes: the caller resumes once, with
    // one of the two answers, and the other finds the wait over.
    Harness harness({ana});
    harness.system->setStabilizing(false);
    for (int round = 0; round < 20; ++round) {
        int resumed = 0;
        [](Harness &harness, int &resumed) -> QCoro::Task<> {
            co_await harness.controller.waitForStabilization(ana, 10ms, harness.cancel.token());
            ++resumed;
        }(harness, resumed);
        waitUntil([&] { return harness.system->heldStabilizations() == 1; });
        harness.clock->advance(10ms);
        harness.system->completeStabilizations();
        waitUntil([&] { return resumed > 0; });
        settle();
        QCOMPARE(resumed, 1);
    }
}

void TestDomainController::transferText_data()
{
    // Each side: finished, total unit count, fraction. A negative total: no progress object.
    QTest::addColumn<QList<double>>("upload");
    QTest::addColumn<QList<double>>("download");
    QTest::addColumn<QString>("expected");

    QTest::newRow("both, rounded to the nearest")
        << QList{0., 10., .424} << QList{0., 6., .166} << u"Envoi 42 %, téléchargement 17 %"_s;
    QTest::newRow("upload alone, 99.5 % rounds up")
        << QList{0., 3., .995} << QList{1., 0., 0.} << u"Envoi en cours… 100 %"_s;
    QTest::newRow("download alone")
        << QList{1., 0., 0.} << QList{0., 1., .5} << u"Téléchargement en cours… 50 %"_s;
    QTest::newRow("download at 1.0 while uploading: the upload")
        << QList{0., 2., .25} << QList{0., 4., 1.} << u"Envoi en cours… 25 %"_s;
    QTest::newRow("an upload without units is none")
        << QList{0., 0., .3} << QList{0., 2., .5} << u"Téléchargement en cours… 50 %"_s;
    QTest::newRow("upload at 1.0") << QList{0., 5., 1.} << QList{1., 0., 0.} << QString();
    QTest::newRow("finished, even at 1.0") << QList{1., 5., 1.} << QList{1., 5., 1.} << QString();
    QTest::newRow("no upload object") << QList{0., -1., 0.} << QList{0., 3., .5} << QString();
}

void TestDomainController::transferText()
{
    QFETCH(QList<double>, upload);
    QFETCH(QList<double>, download);
    QFETCH(QString, expected);

    const auto progress = [](const QList<double> &side) -> std::optional<FileProviderProgress> {
        if (side[1] < 0)
            return std::nullopt;
        return FileProviderProgress{side[0] > 0, qint64(side[1]), qint64(side[1] * side[2]),
                                    side[2]};
    };
    QCOMPARE(DomainController::transferText(progress(upload), progress(download))
                 .value_or(QString()),
             expected);
}

void TestDomainController::progressCachedPerAccount()
{
    Harness harness({ana, u"bob"_s});
    const auto lookups = [&] { return harness.system->calls().count(u"domains"_s); };
    const auto label = [&](const QString &account) {
        return runAsync(harness.controller.transferLabel(account, harness.cancel.token()));
    };

    QCOMPARE(label(ana), std::nullopt);
    // The domain is not looked up again while the account stays.
    harness.system->setProgress(FileProviderTransferKind::upload, {false, 4, 2, 0.5});
    QCOMPARE(label(ana), u"Envoi en cours… 50 %"_s);
    QCOMPARE(lookups(), 1);
    // An account without a domain gets nothing and leaves the cache alone; another replaces it.
    QCOMPARE(label(u"carl"_s), std::nullopt);
    label(ana);
    QCOMPARE(lookups(), 2);
    label(u"bob"_s);
    label(ana);
    QCOMPARE(lookups(), 4);
}

void TestDomainController::pause_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QString>("failure"); // of setPaused, "" when none
    QTest::addColumn<bool>("paused");     // as read afterwards
    QTest::addColumn<QStringList>("log");

    QTest::newRow("paused") << ana << QString() << QString() << true
                            << QStringList{u"domain: Synchronisation mise en pause."_s};
    QTest::newRow("the pause refused: said, not paused")
        << ana << u"pause"_s << u"Refusé."_s << false << QStringList();
    QTest::newRow("no such domain: refused, and never reads as paused")
        << u"bob"_s << QString() << u"Domaine inconnu."_s << false
        << QStringList{u"domain: Pause inconnue : Domaine inconnu."_s};
    QTest::newRow("paused, then unreadable: not paused")
        << ana << u"pause-state"_s << QString() << false
        << QStringList{u"domain: Synchronisation mise en pause."_s,
                       u"domain: Pause inconnue : Refusé."_s};
}

void TestDomainController::pause()
{
    QFETCH(QString, account);
    QFETCH(QString, failing);
    QFETCH(QString, failure);
    QFETCH(bool, paused);
    QFETCH(QStringList, log);

    Harness harness({ana});
    if (!failing.isEmpty())
        harness.system->fail(failing, u"Refusé."_s);
    LogCapture capture;
    QString refused;
    try {
        runAsync(harness.controller.setPaused(account, true, harness.cancel.token()));
    } catch (const FileProviderFailure &error) {
        refused = error.errorDescription();
    }
    QCOMPARE(refused, failure);
    QCOMPARE(runAsync(harness.controller.pause(account, harness.cancel.token())).paused, paused);
    QCOMPARE(capture.lines(), log);
}

QTEST_GUILESS_MAIN(TestDomainController)

#include "test_domain_controller.moc"
