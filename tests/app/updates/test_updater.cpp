// SPDX-License-Identifier: GPL-3.0-or-later
#include "UpdaterHarness.h"
#include "updates/UpdateError.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace std::chrono_literals;

using State = Updater::State;

namespace {

QString described(UpdateError::Kind kind, const QString &detail = {})
{
    return UpdateError(kind, detail).errorDescription();
}

} // namespace

class TestUpdater : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void versionTexts_data();
    void versionTexts();
    void schedule();
    void switchedOffByTheBuild();
    void gentleReminder_data();
    void gentleReminder();
    void clearingEvents_data();
    void clearingEvents();
    void oneCheckAtATime();
    void userCheckOutcomes_data();
    void userCheckOutcomes();
    void skipThisVersion();
    void install_data();
    void install();
    void dismissDuringDownload();
    void appImageReplacedInPlace();
    void appImageKeptWhenReplacementFails();

private:
    QTemporaryDir m_settings;
};

void TestUpdater::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
    QCoreApplication::setOrganizationName(QStringLiteral("orvelan-tests"));
    QCoreApplication::setApplicationName(QStringLiteral("test_updater"));
}

void TestUpdater::init()
{
    QSettings().clear();
}

void TestUpdater::versionTexts_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("build");
    QTest::addColumn<QString>("shortVersion");
    QTest::addColumn<QString>("longVersion");
    QTest::newRow("both") << u"1.4"_qs << u"27"_qs << u"1.4"_qs << u"1.4 (27)"_qs;
    QTest::newRow("no build number") << u"1.4"_qs << QString() << u"1.4"_qs << u"1.4 (?)"_qs;
    QTest::newRow("no version") << QString() << u"27"_qs << u"?"_qs << u"? (27)"_qs;
    QTest::newRow("neither") << QString() << QString() << u"?"_qs << u"? (?)"_qs;
}

void TestUpdater::versionTexts()
{
    QFETCH(QString, version);
    QFETCH(QString, build);
    UpdaterHarness harness;
    harness.configuration.currentVersion = version;
    harness.configuration.buildNumber = build;
    const Updater &updater = harness.start();
    QTEST(updater.shortVersion(), "shortVersion");
    QTEST(updater.longVersion(), "longVersion");
}

// A first check ten seconds after launch, then one a day, on the injected clock.
void TestUpdater::schedule()
{
    UpdaterHarness harness;
    harness.start();
    QCOMPARE(harness.client.clock->sleeps(), QList<std::chrono::milliseconds>{10s});
    QCoreApplication::processEvents();
    QCOMPARE(harness.feedRequests(), 0);
    harness.runScheduledCheck();
    QTRY_COMPARE(harness.client.clock->sleeps(), (QList<std::chrono::milliseconds>{10s, 24h}));
    harness.client.clock->advance(std::chrono::hours(23));
    QCoreApplication::processEvents();
    QCOMPARE(harness.feedRequests(), 1);
    harness.runScheduledCheck();
    QCOMPARE(harness.feedRequests(), 2);
}

// A build for a distribution's archive: no schedule, no feed read, and the user's check (which
// its panel does not offer) opens nothing.
void TestUpdater::switchedOffByTheBuild()
{
    UpdaterHarness harness;
    harness.releases = {harness.signedRelease(QStringLiteral("1.5"))};
    harness.configuration.selfUpdating = false;
    Updater &updater = harness.start();
    QVERIFY(!updater.enabled());
    QVERIFY(harness.client.clock->sleeps().isEmpty());
    updater.checkForUpdates();
    harness.client.clock->advance(std::chrono::hours(48));
    QCoreApplication::processEvents();
    QCOMPARE(harness.client.transport->requests().size(), 0);
    QCOMPARE(updater.state(), Updater::State::Idle);
    QCOMPARE(harness.presenter.windowsShown, 0);
}

void TestUpdater::gentleReminder_data()
{
    QTest::addColumn<bool>("hasPanel");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<int>("feedStatus");
    QTest::addColumn<QString>("pending");
    QTest::addColumn<State>("state");
    QTest::addColumn<int>("windowsShown");
    QTest::newRow("panel closed: a reminder")
        << true << false << 200 << u"1.5"_qs << State::Idle << 0;
    QTest::newRow("no panel yet: a reminder")
        << false << false << 200 << u"1.5"_qs << State::Idle << 0;
    QTest::newRow("panel in focus: the window at once")
        << true << true << 200 << QString() << State::Available << 1;
    // Background failures are only logged.
    QTest::newRow("feed failing: nothing at all")
        << true << true << 503 << QString() << State::Idle << 0;
}

void TestUpdater::gentleReminder()
{
    QFETCH(bool, hasPanel);
    QFETCH(bool, focused);
    QFETCH(int, feedStatus);
    UpdaterHarness harness;
    harness.releases = {harness.signedRelease(u"1.5"_qs)};
    harness.presenter.focused = focused;
    if (feedStatus != 200)
        harness.client.transport->enqueue(FakeTransport::Reply::withStatus(feedStatus));
    Updater &updater = harness.start();
    if (!hasPanel)
        updater.setPresenter(nullptr);
    QSignalSpy pendingChanged(&updater, &Updater::pendingVersionChanged);
    harness.runScheduledCheck();
    QTEST(updater.pendingVersion(), "pending");
    QTEST(updater.state(), "state");
    QTEST(harness.presenter.windowsShown, "windowsShown");
    QCOMPARE(pendingChanged.size(), updater.pendingVersion().isEmpty() ? 0 : 1);
    if (updater.state() == State::Available) {
        QCOMPARE(updater.foundVersion(), u"1.5");
        QCOMPARE(updater.releaseNotes(), u"Notes 1.5");
        QCOMPARE(updater.message(),
                 u"Orvelan Nimbal 1.5 est disponible. Vous avez la version 1.4.0.");
    }
}

// The user attending to the update (the banner or the button bring the window) and the session
// ending both clear the reminder.
void TestUpdater::clearingEvents_data()
{
    QTest::addColumn<bool>("attends");
    QTest::newRow("the user checks") << true;
    QTest::newRow("the session ends") << false;
}

void TestUpdater::clearingEvents()
{
    QFETCH(bool, attends);
    UpdaterHarness harness;
    harness.releases = {harness.signedRelease(u"1.5"_qs)};
    Updater &updater = harness.start();
    harness.runScheduledCheck();
    QCOMPARE(updater.pendingVersion(), u"1.5");
    if (attends) {
        updater.checkForUpdates();
        // Cleared as the window comes up, before the check answers.
        QCOMPARE(updater.pendingVersion(), QString());
        QCOMPARE(harness.presenter.windowsShown, 1);
        QCOMPARE(updater.state(), State::Checking);
        QCOMPARE(updater.message(), u"Recherche des mises à jour…");
        QTRY_COMPARE(updater.state(), State::Available);
        QCOMPARE(updater.pendingVersion(), QString());
    } else {
        updater.remindLater();
        QCOMPARE(updater.pendingVersion(), QString());
        QCOMPARE(updater.state(), State::Idle);
    }
}

// The user's check, the button pressed twice and the scheduled check, all at once: one request,
// and the user still gets the answer in the window.
void TestUpdater::oneCheckAtATime()
{
    UpdaterHarness harness;
    harness.releases = {harness.signedRelease(u"1.5"_qs)};
    Updater &updater = harness.start();
    // The scheduled check wakes on the next turn of the event loop, before any answer comes.
    harness.client.clock->advance(10s);
    updater.checkForUpdates();
    updater.checkForUpdates();
    QTRY_COMPARE(updater.state(), State::Available);
    QCOMPARE(harness.feedRequests(), 1);
    QCOMPARE(harness.presenter.windowsShown, 2);
    QCOMPARE(updater.pendingVersion(), QString());
    // Once answered, a new check asks again.
    updater.checkForUpdates();
    QTRY_COMPARE(harness.feedRequests(), 2);
}

void TestUpdater::userCheckOutcomes_data()
{
    QTest::addColumn<QByteArray>("feed"); // empty: the harness's, with release 1.3.9 only
    QTest::addColumn<int>("status");
    QTest::addColumn<State>("state");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing newer")
        << QByteArray() << 200 << State::UpToDate << u"Votre version est à jour."_qs;
    QTest::newRow("feed not found")
        << QByteArray() << 404 << State::Failed
        << u"Impossible de rechercher les mises à jour pour le moment. Le serveur des mises à "
           "jour a répondu par une erreur (HTTP 404)."_qs;
    QTest::newRow("feed unreadable")
        << QByteArray("<html>maintenance</html>") << 200 << State::Failed
        << u"Les informations de mise à jour reçues sont illisibles. Réessayez plus tard."_qs;
}

void TestUpdater::userCheckOutcomes()
{
    QFETCH(QByteArray, feed);
    QFETCH(int, status);
    UpdaterHarness harness;
    harness.releases = {harness.signedRelease(u"1.3.9"_qs)};
    const QByteArray body = feed.isEmpty() ? harness.feed() : feed;
    harness.client.transport->enqueue(FakeTransport::Reply::withStatus(status, body));
    Updater &updater = harness.start();
    QSignalSpy sessionChanged(&updater, &Updater::sessionChanged);
    updater.checkForUpdates();
    QTRY_VERIFY(updater.state() != State::Checking);
    QTEST(updater.state(), "state");
    QTEST(updater.message(), "message");
    QCOMPARE(updater.foundVersion(), QString());
    QCOMPARE(sessionChanged.size(), 2);
}

void TestUpdater::skipThisVersion()
{
    UpdaterHarness harness;
    harness.releases = {harness.signedRelease(u"1.5"_qs)};
    Updater &updater = harness.start();
    updater.checkForUpdates();
    QTRY_COMPARE(updater.state(), State::Available);
    updater.skipThisVersion();
    QCOMPARE(updater.state(), State::Idle);
    QCOMPARE(QSettings().value(u"skippedUpdateVersion"_qs).toString(), u"1.5");

    // Remembered: the background checks, even with a new updater, say nothing of it…
    harness.start();
    harness.runScheduledCheck();
    QCOMPARE(harness.updater->pendingVersion(), QString());
    // …but the next version is offered again,
    harness.releases.append(harness.signedRelease(u"1.5.1"_qs));
    harness.runScheduledCheck();
    QCOMPARE(harness.updater->pendingVersion(), u"1.5.1");
    // and the user's own check shows the ignored version when it is the newest.
    harness.releases.removeLast();
    harness.updater->checkForUpdates();
    QTRY_COMPARE(harness.updater->state(), State::Available);
    QCOMPARE(harness.updater->foundVersion(), u"1.5");
}

void TestUpdater::install_data()
{
    QTest::addColumn<Serving>("serving");
    QTest::addColumn<QByteArray>("signature"); // "good": the signer's own
    QTest::addColumn<bool>("desktopAccepts");
    QTest::addColumn<State>("state");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("handedOver");
    QTest::addColumn<bool>("verifiedKept");

    const QString handedOver = u"Le paquet vérifié d'Orvelan Nimbal 1.5 est ouvert dans votre "
                               "installateur de paquets : terminez-y l'installation, puis "
                               "rouvrez l'application."_qs;
    const auto add = [](const char *name, Serving serving, const QByteArray &signature,
                        bool accepts, State state, const QString &message, bool handed, bool kept) {
        QTest::newRow(name) << serving << signature << accepts << state << message << handed
                            << kept;
    };
    add("verified, handed to the desktop", Serving::ranges, "good", true, State::HandedOver,
        handedOver, true, true);
    add("server ignores ranges", Serving::wholeAtOnce, "good", true, State::HandedOver, handedOver,
        true, true);
    add("bad signature", Serving::ranges, QByteArray(64, 'x').toBase64(), true, State::Failed,
        described(UpdateError::Kind::signatureInvalid), false, false);
    add("missing signature", Serving::ranges, {}, true, State::Failed,
        described(UpdateError::Kind::signatureMissing), false, false);
    add("truncated download", Serving::shortOfOneByte, "good", true, State::Failed,
        described(UpdateError::Kind::incomplete), false, false);
    add("release not found", Serving::notFound, "good", true, State::Failed,
        described(UpdateError::Kind::downloadFailed,
                  u"Le serveur des mises à jour a répondu par une erreur (HTTP 404)."_qs),
        false, false);
}

void TestUpdater::install()
{
    QFETCH(Serving, serving);
    QFETCH(QByteArray, signature);
    QFETCH(bool, desktopAccepts);
    QFETCH(bool, handedOver);
    QFETCH(bool, verifiedKept);
    UpdaterHarness harness;
    OfferedRelease release = harness.signedRelease(u"1.5"_qs);
    if (signature != "good")
        release.signature = signature;
    harness.releases = {release};
    harness.serving = serving;
    harness.desktop->accepts = desktopAccepts;
    Updater &updater = harness.start();
    QSignalSpy progress(&updater, &Updater::progressChanged);
    QList<State> states;
    connect(&updater, &Updater::sessionChanged, this, [&] { states.append(updater.state()); });
    updater.checkForUpdates();
    QTRY_COMPARE(updater.state(), State::Available);
    updater.install();
    QTRY_VERIFY(updater.state() == State::HandedOver || updater.state() == State::Failed);
    QTEST(updater.state(), "state");
    QTEST(updater.message(), "message");

    QCOMPARE(harness.desktop->opened.size(), handedOver ? 1 : 0);
    const QString verified = harness.configuration.downloadFolder + u"/orvelan-nimbal.deb"_qs;
    if (handedOver) {
        QCOMPARE(harness.desktop->opened.first(), verified);
        QVERIFY(harness.desktop->openedBytes == release.bytes);
        QCOMPARE(states, (QList<State>{State::Checking, State::Available, State::Downloading,
                                       State::Verifying, State::HandedOver}));
        QCOMPARE(updater.progress(), 1.0);
        // Three pieces, or one for a server that sends all at once.
        QCOMPARE(progress.size(), serving == Serving::ranges ? 3 : 1);
    }
    // Nothing refused or partial stays behind; a verified package stays for the user.
    QCOMPARE(harness.downloadFolderFiles(),
             verifiedKept ? QStringList{u"orvelan-nimbal.deb"_qs} : QStringList());
    if (release.signature.isEmpty())
        QCOMPARE(harness.requestsFor(u"/releases/orvelan-nimbal.deb"_qs), 0);
}

void TestUpdater::dismissDuringDownload()
{
    UpdaterHarness harness;
    harness.releases = {harness.signedRelease(u"1.5"_qs)};
    harness.serving = Serving::hangs;
    Updater &updater = harness.start();
    harness.checkNow();
    updater.install();
    QTRY_COMPARE(harness.requestsFor(u"/releases/orvelan-nimbal.deb"_qs), 1);
    QCOMPARE(harness.downloadFolderFiles().size(), 1);
    QVERIFY(harness.downloadFolderFiles().constFirst().endsWith(u".part"_qs));
    updater.remindLater();
    QCOMPARE(updater.state(), State::Idle);
    QTRY_COMPARE(harness.downloadFolderFiles(), QStringList());
    QCOMPARE(updater.state(), State::Idle);
    QVERIFY(harness.desktop->opened.isEmpty());
}

// The application runs from an AppImage: a stand-in image is replaced in its folder, keeps its
// permissions, and the restart runs it.
void TestUpdater::appImageReplacedInPlace()
{
    UpdaterHarness harness;
    const QString image = harness.folder.filePath(u"apps/Orvelan_Nimbal-x86_64.AppImage"_qs);
    QVERIFY(QDir().mkpath(QFileInfo(image).path()));
    QFile old(image);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("the old image");
    old.close();
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner
                             | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                             | QFileDevice::ExeGroup;
    QVERIFY(old.setPermissions(permissions));
    const OfferedRelease release = harness.offerAppImage(image);
    Updater &updater = harness.start();
    harness.checkNow();
    updater.install();
    QTRY_COMPARE(updater.state(), State::ReadyToRestart);
    QCOMPARE(updater.message(), u"Orvelan Nimbal 1.5 est installé. Redémarrez pour l'utiliser.");
    QFile replaced(image);
    QVERIFY(replaced.open(QIODevice::ReadOnly));
    QVERIFY(replaced.readAll() == release.bytes);
    // Without the bits that describe the current user rather than the file.
    QCOMPARE(replaced.permissions()
                 & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
             permissions);
    // Nothing else in the image's folder, nothing left in the cache, nothing handed over.
    QCOMPARE(QDir(QFileInfo(image).path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QFileInfo(image).fileName()});
    QCOMPARE(harness.downloadFolderFiles(), QStringList());
    QVERIFY(harness.desktop->opened.isEmpty());

    updater.restart();
    QCOMPARE(harness.desktop->relaunched, QStringList{image});
    // Installed, though this process is still the old version: not offered again.
    updater.remindLater();
    harness.runScheduledCheck();
    QCOMPARE(updater.pendingVersion(), QString());
}

void TestUpdater::appImageKeptWhenReplacementFails()
{
    UpdaterHarness harness;
    // The image's folder is a file: nothing can be written next to it, even by root.
    const QString notAFolder = harness.folder.filePath(u"apps"_qs);
    QFile blocker(notAFolder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    harness.offerAppImage(notAFolder + u"/Orvelan_Nimbal.AppImage"_qs);
    Updater &updater = harness.start();
    harness.checkNow();
    updater.install();
    QTRY_COMPARE(updater.state(), State::Failed);
    QVERIFY2(updater.message().startsWith(u"Impossible de remplacer l'application ("_qs),
             qPrintable(updater.message()));
    QVERIFY(updater.message().endsWith(u"). Votre version actuelle reste en place."_qs));
    QVERIFY(harness.desktop->opened.isEmpty());
}

QTEST_GUILESS_MAIN(TestUpdater)
#include "test_updater.moc"
