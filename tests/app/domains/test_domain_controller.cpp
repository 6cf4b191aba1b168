// SPDX-License-Identifier: GPL-3.0-or-later
// The domain controller over the in-memory file-provider system: which domains a mount leaves,
// what a refusal of the system becomes, the signal and its bounded wait for stabilisation (the
// system answering on the main thread or from a worker), the user's switch, the folder, and the
// transfer text with its rounding and its cache.
#include "AsyncTest.h"
#include "EventLoopWaits.h"
#include "InMemoryFileProviderSystem.h"
#include "LogCapture.h"
#include "ManualClock.h"
#include "domains/DomainController.h"
#include "domains/FileProviderFailure.h"
#include "domains/FirstOnly.h"

#include <QTest>
#include <QThreadPool>

#include <thread>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

using Answering = InMemoryFileProviderSystem::Answering;

namespace {

const QString ana = u"ana@orvelan.net"_s;

FileProviderDomain domain(const QString &identifier, bool enabled = true)
{
    return {identifier, identifier, enabled};
}

QList<FileProviderDomain> domains(const QStringList &identifiers)
{
    QList<FileProviderDomain> list;
    for (const QString &identifier : identifiers)
        list.append(domain(identifier));
    return list;
}

QStringList identifiers(const QList<FileProviderDomain> &list)
{
    QStringList names;
    for (const FileProviderDomain &each : list)
        names.append(each.identifier);
    return names;
}

FileProviderError refusal(const QString &message)
{
    return {u"net.orvelan.nimbal.FileProvider1.Error.Failed"_s, message};
}

struct Harness {
    std::shared_ptr<InMemoryFileProviderSystem> system;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(false);
    DomainController controller;
    CancellationSource cancel;

    explicit Harness(QList<FileProviderDomain> registered = {},
                     Answering answering = Answering::nextTurn)
        : system(std::make_shared<InMemoryFileProviderSystem>(std::move(registered)))
        , controller(system, clock)
    {
        system->setAnswering(answering);
    }

    // The error message the operation failed with, or "" when it succeeded.
    template <class Operation>
    QString failureOf(Operation operation)
    {
        try {
            runAsync(operation());
        } catch (const FileProviderFailure &failure) {
            return failure.errorDescription();
        }
        return {};
    }
};

} // namespace

class TestDomainController : public QObject {
    Q_OBJECT

private slots:
    void mount_data();
    void mount();
    void unmount();
    void domainState_data();
    void domainState();
    void signal_data();
    void signal();
    void stabilizationTimesOut();
    void stabilizationRaceResumesOnce();
    void firstOnlyAcrossThreads();
    void userVisibleURL();
    void transferText_data();
    void transferText();
    void progressIsCachedPerAccount();
};

void TestDomainController::mount_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("failure"); // "list", "add", or the identifier whose removal fails
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<bool>("fails");

    QTest::newRow("first domain") << QStringList() << QString()
                                  << QStringList{u"domains"_s, u"add "_s + ana} << QStringList{ana}
                                  << false;
    QTest::newRow("another account's domain goes first")
        << QStringList{u"bob@orvelan.net"_s} << QString()
        << QStringList{u"domains"_s, u"remove bob@orvelan.net"_s, u"add "_s + ana}
        << QStringList{ana} << false;
    QTest::newRow("own domain kept and added again")
        << QStringList{ana} << QString() << QStringList{u"domains"_s, u"add "_s + ana}
        << QStringList{ana} << false;
    QTest::newRow("several, in the system's order")
        << QStringList{u"bob"_s, ana, u"carl"_s} << QString()
        << QStringList{u"domains"_s, u"remove bob"_s, u"remove carl"_s, u"add "_s + ana}
        << QStringList{ana} << false;
    QTest::newRow("an account differing only in case is another one")
        << QStringList{u"Ana@orvelan.net"_s} << QString()
        << QStringList{u"domains"_s, u"remove Ana@orvelan.net"_s, u"add "_s + ana}
        << QStringList{ana} << false;
    QTest::newRow("list unavailable") << QStringList{u"bob"_s} << u"list"_s
                                      << QStringList{u"domains"_s} << QStringList{u"bob"_s} << true;
    QTest::newRow("a removal fails: the rest stays, nothing added")
        << QStringList{u"bob"_s, u"carl"_s} << u"bob"_s
        << QStringList{u"domains"_s, u"remove bob"_s} << QStringList{u"bob"_s, u"carl"_s} << true;
    QTest::newRow("the add fails")
        << QStringList{u"bob"_s} << u"add"_s
        << QStringList{u"domains"_s, u"remove bob"_s, u"add "_s + ana} << QStringList() << true;
}

void TestDomainController::mount()
{
    QFETCH(QStringList, before);
    QFETCH(QString, failure);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, after);
    QFETCH(bool, fails);

    for (const Answering answering : {Answering::nextTurn, Answering::otherThread}) {
        Harness harness(domains(before), answering);
        const FileProviderError error = refusal(u"Le système a refusé."_s);
        if (failure == u"list")
            harness.system->failDomainList(error);
        else if (failure == u"add")
            harness.system->failAdd(error);
        else if (!failure.isEmpty())
            harness.system->failRemoval(failure, error);

        LogCapture log;
        const QString message = harness.failureOf(
            [&] { return harness.controller.mount(ana, harness.cancel.token()); });
        QCOMPARE(message, fails ? error.message : QString());
        QCOMPARE(harness.system->calls(), calls);
        QCOMPARE(identifiers(harness.system->registered()), after);
        // The account is private, in the log as anywhere else.
        QCOMPARE(log.lines(),
                 fails ? QStringList() : QStringList{u"domain: Domaine monté pour <private>"_s});
    }
}

void TestDomainController::unmount()
{
    Harness harness(domains({ana, u"bob"_s}));
    LogCapture log;
    QCOMPARE(
        harness.failureOf([&] { return harness.controller.unmount(ana, harness.cancel.token()); }),
        QString());
    QCOMPARE(identifiers(harness.system->registered()), QStringList{u"bob"_s});
    QCOMPARE(log.lines(), QStringList{u"domain: Domaine retiré pour <private>"_s});

    // Gone already: the system's refusal reaches the caller (who may ignore it).
    QCOMPARE(
        harness.failureOf([&] { return harness.controller.unmount(ana, harness.cancel.token()); }),
        u"Domaine inconnu."_s);
}

void TestDomainController::domainState_data()
{
    QTest::addColumn<QList<FileProviderDomain>>("registered");
    QTest::addColumn<bool>("listFails");
    QTest::addColumn<bool>("mounted");
    QTest::addColumn<int>("enabled"); // 1 on, 0 off, -1 unknown

    QTest::newRow("on") << QList{domain(u"bob"_s, false), domain(ana)} << false << true << 1;
    QTest::newRow("switched off") << QList{domain(ana, false)} << false << true << 0;
    QTest::newRow("no such domain") << QList{domain(u"bob"_s)} << false << false << -1;
    QTest::newRow("list unavailable") << QList{domain(ana, false)} << true << false << -1;
}

void TestDomainController::domainState()
{
    QFETCH(QList<FileProviderDomain>, registered);
    QFETCH(bool, listFails);
    QFETCH(bool, mounted);
    QFETCH(int, enabled);

    Harness harness(registered);
    if (listFails)
        harness.system->failDomainList(refusal(u"Indisponible."_s));
    QCOMPARE(runAsync(harness.controller.isMounted(ana, harness.cancel.token())), mounted);
    const std::optional<bool> userEnabled =
        runAsync(harness.controller.isUserEnabled(ana, harness.cancel.token()));
    QCOMPARE(userEnabled ? int(*userEnabled) : -1, enabled);
}

void TestDomainController::signal_data()
{
    QTest::addColumn<Answering>("answering");
    QTest::addColumn<bool>("registered");
    QTest::addColumn<bool>("signalFails");
    QTest::addColumn<bool>("wait");
    QTest::addColumn<bool>("stabilizationFails");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("log");

    for (const Answering answering : {Answering::nextTurn, Answering::otherThread}) {
        const QByteArray thread = answering == Answering::nextTurn ? "" : " (worker thread)";
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::newRow((QByteArray(name) + thread).constData()) << answering;
        };
        row("accepted") << true << false << false << false << true << QStringList();
        row("accepted and stable") << true << false << true << false << true << QStringList();
        row("no such domain") << false << false << true << false << false
                              << QStringList{u"domain: Domaine introuvable, signal ignoré."_s};
        row("refused") << true << true << true << false << false
                       << QStringList{u"domain: Signal impossible : Signal refusé."_s};
        row("the wait fails") << true << false << true << true << false
                              << QStringList{u"domain: Actualisation : stabilisation non "
                                             "confirmée dans le délai."_s};
    }
}

void TestDomainController::signal()
{
    QFETCH(Answering, answering);
    QFETCH(bool, registered);
    QFETCH(bool, signalFails);
    QFETCH(bool, wait);
    QFETCH(bool, stabilizationFails);
    QFETCH(bool, result);
    QFETCH(QStringList, log);

    Harness harness(registered ? QList{domain(ana)} : QList<FileProviderDomain>(), answering);
    if (signalFails)
        harness.system->failSignals(refusal(u"Signal refusé."_s));
    if (stabilizationFails)
        harness.system->failStabilizations(refusal(u"Interrompu."_s));
    LogCapture capture;
    QCOMPARE(runAsync(harness.controller.signal(ana, wait, 60s, harness.cancel.token())), result);
    QCOMPARE(capture.lines(), log);
    // A signal that does not wait never asks for stabilisation.
    QCOMPARE(harness.system->calls().contains(u"stabilize "_s + ana),
             wait && registered && !signalFails);
}

void TestDomainController::stabilizationTimesOut()
{
    Harness harness({domain(ana)});
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
    QCOMPARE(harness.clock->sleeps(), QList{std::chrono::milliseconds(60s)});

    // The system's late answer finds the wait over and changes nothing.
    harness.system->completeStabilizations();
    settle();
    QCOMPARE(*result, false);
}

void TestDomainController::stabilizationRaceResumesOnce()
{
    // The system answers from a worker while the deadline passes on the main thread: whichever
    // wins, the caller resumes exactly once.
    Harness harness({domain(ana)});
    auto manager = std::make_shared<std::shared_ptr<FileProviderManager>>();
    harness.system->manager(ana, [manager](auto found) { *manager = found; });
    waitUntil([&] { return bool(*manager); });
    harness.system->setAnswering(Answering::otherThread);
    for (int round = 0; round < 200; ++round) {
        int resumed = 0;
        [](Harness &harness, std::shared_ptr<FileProviderManager> manager,
           int &resumed) -> QCoro::Task<> {
            co_await harness.controller.waitForStabilization(manager, 10ms, harness.cancel.token());
            ++resumed;
        }(harness, *manager, resumed);
        harness.clock->advance(10ms);
        waitUntil([&] { return resumed > 0; });
        settle();
        QCOMPARE(resumed, 1);
    }
    QThreadPool::globalInstance()->waitForDone();
}

void TestDomainController::firstOnlyAcrossThreads()
{
    for (int round = 0; round < 100; ++round) {
        FirstOnly race;
        std::atomic<int> winners = 0;
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i)
            threads.emplace_back([&] { winners += race.first() ? 1 : 0; });
        for (std::thread &thread : threads)
            thread.join();
        QCOMPARE(winners.load(), 1);
        QVERIFY(!race.first());
    }
}

void TestDomainController::userVisibleURL()
{
    Harness harness({domain(ana)});
    const auto url = [&](const QString &account) {
        return runAsync(harness.controller.userVisibleURL(account, harness.cancel.token()));
    };
    QCOMPARE(url(ana), std::nullopt); // the system knows no folder
    harness.system->setUserVisibleFolder(u"/home/ana/Nimbal/ana@orvelan.net"_s);
    QCOMPARE(url(ana), QUrl(u"file:///home/ana/Nimbal/ana@orvelan.net"_s));
    QCOMPARE(url(u"bob"_s), std::nullopt); // no manager
}

void TestDomainController::transferText_data()
{
    // Each side: finished, total unit count, fraction; a negative total: no progress object.
    QTest::addColumn<bool>("upFinished");
    QTest::addColumn<int>("upTotal");
    QTest::addColumn<double>("up");
    QTest::addColumn<bool>("downFinished");
    QTest::addColumn<int>("downTotal");
    QTest::addColumn<double>("down");
    QTest::addColumn<QString>("expected"); // "" for none

    QTest::newRow("both, rounded to the nearest")
        << false << 10 << 0.424 << false << 6 << 0.166 << u"Envoi 42 %, téléchargement 17 %"_s;
    QTest::newRow("upload alone, 99.5 % rounds up")
        << false << 3 << 0.995 << true << 0 << 0.0 << u"Envoi en cours… 100 %"_s;
    QTest::newRow("download alone")
        << true << 0 << 0.0 << false << 1 << 0.5 << u"Téléchargement en cours… 50 %"_s;
    QTest::newRow("download at 1.0 while uploading: upload only")
        << false << 2 << 0.25 << false << 4 << 1.0 << u"Envoi en cours… 25 %"_s;
    QTest::newRow("upload without units is not uploading")
        << false << 0 << 0.3 << false << 2 << 0.5 << u"Téléchargement en cours… 50 %"_s;
    QTest::newRow("upload at 1.0 is done") << false << 5 << 1.0 << true << 0 << 0.0 << QString();
    QTest::newRow("finished objects, even at 1.0")
        << true << 5 << 1.0 << true << 5 << 1.0 << QString();
    QTest::newRow("nothing moves") << true << 0 << 0.0 << true << 0 << 0.0 << QString();
    QTest::newRow("no upload object") << false << -1 << 0.0 << false << 3 << 0.5 << QString();
}

void TestDomainController::transferText()
{
    QFETCH(bool, upFinished);
    QFETCH(int, upTotal);
    QFETCH(double, up);
    QFETCH(bool, downFinished);
    QFETCH(int, downTotal);
    QFETCH(double, down);
    QFETCH(QString, expected);

    SettableProgress upload;
    SettableProgress download;
    upload.set(upFinished, upTotal, up);
    download.set(downFinished, downTotal, down);
    const std::optional<QString> text =
        DomainController::transferText(upTotal < 0 ? nullptr : &upload, &download);
    QCOMPARE(text.value_or(QString()), expected);
}

void TestDomainController::progressIsCachedPerAccount()
{
    Harness harness({domain(ana), domain(u"bob"_s)});
    const auto lookups = [&] { return harness.system->calls().filter(u"manager"_s).size(); };
    const auto progress = [&](const QString &account) {
        return runAsync(harness.controller.progress(account, harness.cancel.token()));
    };

    QVERIFY(progress(ana).upload);
    QVERIFY(progress(ana).download);
    QCOMPARE(lookups(), 1); // live objects: asked once for the account

    // The objects follow the transfers by themselves.
    harness.system->progress(FileProviderTransferKind::upload).set(false, 4, 0.5);
    QCOMPARE(runAsync(harness.controller.transferLabel(ana, harness.cancel.token())),
             u"Envoi en cours… 50 %"_s);
    QCOMPARE(lookups(), 1);

    // An account without a domain gets nothing and leaves the cache alone.
    const DomainController::Progress none = progress(u"carl"_s);
    QVERIFY(!none.upload && !none.download);
    progress(ana);
    QCOMPARE(lookups(), 2);

    // Another account replaces the cached one.
    progress(u"bob"_s);
    progress(ana);
    QCOMPARE(lookups(), 4);
}

QTEST_GUILESS_MAIN(TestDomainController)
#include "test_domain_controller.moc"
