// SPDX-License-Identifier: GPL-3.0-or-later
// Every gap in the application's link to the drive ends with a read of it, with the real
// extension on a bus of the test's own, the real service and real folders: an extension that
// was killed is started again by the application, which asks its domains to read the drive; a
// live stream that comes back after a drop makes the model signal. In both cases a file added
// on the service during the gap reaches the disk without any other change to announce it.
#include "ExtensionTest.h"
#include "ModelDoubles.h"
#include "model/AppModel.h"
#include "system/XdgAutostartEntry.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// Long enough for a pass of a small drive; far shorter than the model's 300 s safety signal and
// the extension's hourly rescan, the only other ways a missed change would be read.
constexpr int arrivalCeilingMilliseconds = 30000;

bool arrives(const QString &path, int ceiling = arrivalCeilingMilliseconds)
{
    return QTest::qWaitFor([&] { return QFile::exists(path); }, ceiling);
}

} // namespace

class TestAppCatchUp : public ExtensionTest {
    Q_OBJECT

private slots:
    void killedExtensionIsStartedAgainAndReads();
    void streamBackAfterDropSignals();
};

void TestAppCatchUp::killedExtensionIsStartedAgainAndReads()
{
    auto mounted = account(u"restart"_s);
    addDomain(*mounted);
    QVERIFY(!stabilise(*mounted, false));
    const qint64 first = mounted->bus->daemonPid();
    QVERIFY(first > 0);
    QSignalSpy restarted(mounted->system.get(), &DBusFileProviderSystem::restarted);

    // Killed as a crash would; nobody calls it afterwards, and the service has news.
    mounted->bus->killDaemon();
    service().putFile(mounted->email, u"pendant la panne.txt"_s, "écrit pendant la panne");

    QVERIFY(arrives(mounted->folder() + u"/pendant la panne.txt"_s));
    // Started again by the application, which then asked its domain to read the drive.
    QVERIFY(restarted.count() >= 1 || restarted.wait(10000));
    const qint64 second = mounted->bus->daemonPid();
    QVERIFY(second > 0 && second != first);
}

void TestAppCatchUp::streamBackAfterDropSignals()
{
    auto mounted = account(u"stream"_s);
    QTemporaryDir folder;
    const QDir files(folder.path());
    auto system = std::shared_ptr<FileProviderSystem>(std::move(mounted->system));
    // The application's model over the extension; its session is the account's, stored.
    AppModel model(AppEnvironment{
        mounted->client,
        service().eventsBaseURL(),
        {},
        system,
        std::make_shared<Preferences>(
            std::make_unique<QSettings>(files.filePath(u"nimbal.conf"_s), QSettings::IniFormat)),
        std::make_shared<XdgAutostartEntry>(files.filePath(u"autostart"_s),
                                            u"/usr/bin/orvelan-nimbal"_s),
        std::make_shared<ExtensionTool>(QString()),
        std::make_shared<WakeNotifier>(),
        [] { return std::optional(u"Poste de test"_s); },
        std::make_shared<RecordingDesktop>(),
        UpdateConfiguration::compiledIn(),
        {},
    });
    QVERIFY(QTest::qWaitFor([&] { return model.status() == AppStatus::ready(); }, 30000));
    QVERIFY(QTest::qWaitFor(
        [&] { return model.liveStatus() == DriveEventStream::Status::connected(); }, 10000));
    // The signal of the start (half a second after it) has gone and its pass is over.
    QTest::qWait(1500);
    QVERIFY(!awaitCompletion(system->waitForStabilization(mounted->email, {})));

    // The stream drops, and its next two attempts are refused: about eight seconds without
    // it, during which a file is added on the service.
    service().refuseEventStreams(503, 2);
    QVERIFY(service().closeEventStreams(mounted->email) >= 1);
    QVERIFY(QTest::qWaitFor(
        [&] {
            return model.liveStatus()
                   && model.liveStatus()->kind() == DriveEventStream::Status::Kind::disconnected;
        },
        10000));
    const QString added = mounted->folder() + u"/pendant la coupure.txt"_s;
    service().putFile(mounted->email, u"pendant la coupure.txt"_s, "écrit pendant la coupure");
    QTest::qWait(500);
    QVERIFY2(!QFile::exists(added), "read before the stream came back: nothing was tested");

    QVERIFY(arrives(added));
    QCOMPARE(model.liveStatus(), DriveEventStream::Status::connected());
}

QTEST_GUILESS_MAIN(TestAppCatchUp)
#include "test_app_catch_up.moc"
