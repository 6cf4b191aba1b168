// SPDX-License-Identifier: GPL-3.0-or-later
// The extension as the application meets it: `nimbal-fileprovider` started by D-Bus activation on
// a bus of the test's own, driven through the application's D-Bus file-provider system, against
// the real local service, the real keychain and real folders. Each test compares the folder with
// the drive, content hashes included.
#include "ExtensionTest.h"
#include "bus/FileProviderBus.h"
#include "config/OrvelanNimbal.h"
#ifdef NIMBAL_HAS_DOMAIN_CONTROLLER
#include "domains/DomainController.h"
#endif
#include "sync/ContentHasher.h"
#include "sync/DomainSummary.h"

#include <QCryptographicHash>
#include <QDBusMessage>
#include <QDirIterator>
#include <QTemporaryFile>
#include <QTest>
#include <QUuid>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

class TestExtension : public ExtensionTest {
    Q_OBJECT

private slots:
    void addedDomainHoldsTheDrive();
    void changesReachTheDisk();
    void forgottenCursorIsReconciled();
    void killedMidDownloadResumes();
    void removalKeepsUnsentWork();
    void commandsSwitchTheExtension();
    void clientHearsThePause();
#ifdef NIMBAL_HAS_DOMAIN_CONTROLLER
    void domainControllerRunsOverTheBus();
#endif
};

void TestExtension::addedDomainHoldsTheDrive()
{
    auto mounted = account(u"domain"_qs);
    const DriveAPI &drive = mounted->drive;
    const qint64 documents = runAsync(drive.createFolder(u"Documents"_qs, {}));
    const qint64 invoices = runAsync(drive.createFolder(u"Factures"_qs, documents));
    const qint64 photos = runAsync(drive.createFolder(u"Photos été 🏔"_qs, {}));
    service().putFile(mounted->email, u"Lisez-moi.txt"_qs, "Bienvenue sur votre Nimbal.\n");
    service().putFile(mounted->email, u"rapport.txt"_qs, generated(300 * 1024), documents);
    service().putFile(mounted->email, u"2024-01.txt"_qs, "facture", invoices);
    service().putFile(mounted->email, u"vide.txt"_qs, QByteArray(), photos);
    const DriveFile archived =
        service().putFile(mounted->email, u"vieux.zip"_qs, "archives", documents);
    service().setFileState(mounted->email, archived.id, u"glacier"_qs);
    const DriveFile trashed = service().putFile(mounted->email, u"jeté.txt"_qs, "x");
    runAsync(drive.trash({trashed.id}, {}));

    addDomain(*mounted);
    const auto error = stabilise(*mounted, false);
    QVERIFY2(!error, qPrintable(describe(error)));

    const Tree expected = driveTree(drive);
    QCOMPARE(expected.size(), 7);
    QCOMPARE(diskTree(mounted->folder()), expected);
    // The archived file is missing on purpose, and the summary says why.
    const auto summary = DomainSummary::load(QUrl::fromLocalFile(mounted->summaryFile()));
    QVERIFY(summary);
    QCOMPARE(summary->archivedFileIDs, QSet<qint64>{archived.id});
    QVERIFY(QFile::exists(mounted->bus->container() + u"/item-store-"_qs
                          + accountFileKey(mounted->email) + u".json"_qs));

    // The domain as the application lists it, and its folder.
    QCOMPARE(runAsync(mounted->system->userVisibleFolder(mounted->email, {})), mounted->folder());
}

void TestExtension::changesReachTheDisk()
{
    auto mounted = account(u"changes"_qs);
    const DriveAPI &drive = mounted->drive;
    const qint64 documents = runAsync(drive.createFolder(u"Documents"_qs, {}));
    const qint64 archive = runAsync(drive.createFolder(u"Archive"_qs, {}));
    const DriveFile renamed =
        service().putFile(mounted->email, u"brouillon.txt"_qs, "v1", documents);
    const DriveFile moved = service().putFile(mounted->email, u"note.txt"_qs, "note", documents);
    const DriveFile trashed = service().putFile(mounted->email, u"jeté.txt"_qs, "x", documents);
    addDomain(*mounted);
    QVERIFY(!stabilise(*mounted, false));

    runAsync(drive.renameFile(renamed.id, u"rapport final.txt"_qs));
    runAsync(drive.move({moved.id}, {}, archive));
    runAsync(drive.trash({trashed.id}, {}));
    runAsync(drive.updateFolder(documents, u"Docs"_qs, std::nullopt));
    service().putFile(mounted->email, u"nouveau.txt"_qs, "nouveau", archive);
    const auto error = stabilise(*mounted);
    QVERIFY2(!error, qPrintable(describe(error)));
    const Tree onDrive = driveTree(drive);
    QCOMPARE(diskTree(mounted->folder()),
             (Tree{{u"Archive"_qs, {}},
                   {u"Archive/note.txt"_qs,
                    // printf 'note' | sha256sum
                    u"edb465624291e4053c6c5ea4b7eb320dec773e10a57d26b95dcf0564f8e310f8"_qs},
                   {u"Archive/nouveau.txt"_qs, onDrive.value(u"Archive/nouveau.txt"_qs)},
                   {u"Docs"_qs, {}},
                   {u"Docs/rapport final.txt"_qs, onDrive.value(u"Docs/rapport final.txt"_qs)}}));
}

void TestExtension::forgottenCursorIsReconciled()
{
    auto mounted = account(u"reconcile"_qs);
    const DriveFile gone = service().putFile(mounted->email, u"parti.txt"_qs, "x");
    service().putFile(mounted->email, u"reste.txt"_qs, "y");
    addDomain(*mounted);
    QVERIFY(!stabilise(*mounted, false));

    runAsync(mounted->drive.trash({gone.id}, {}));
    service().putFile(mounted->email, u"arrivé.txt"_qs, "z");
    service().compactChanges(mounted->email); // the extension's cursor is now unknown
    QVERIFY(!stabilise(*mounted));
    // The feed from its start still gives the whole drive: no walk through the tree.
    QCOMPARE(service().requestCount("GET", u"/api/v1/drive/folders"_qs), 0);
    QCOMPARE(diskTree(mounted->folder()), driveTree(mounted->drive));
}

void TestExtension::killedMidDownloadResumes()
{
    auto mounted = account(u"kill"_qs);
    QList<qint64> small;
    for (int i = 0; i < 5; ++i)
        small.append(service().putFile(mounted->email, u"petit-%1.txt"_qs.arg(i), "petit").id);
    addDomain(*mounted);
    QVERIFY(!stabilise(*mounted, false));
    const auto grantsOfSmallFiles = [&] {
        int count = 0;
        for (qint64 id : small)
            count +=
                service().requestCount("GET", u"/api/v1/drive/files/%1/download-url"_qs.arg(id));
        return count;
    };
    const int grantsBefore = grantsOfSmallFiles();

    QTemporaryFile large;
    QVERIFY(large.open());
    large.write(generated(128 << 20));
    large.flush();
    const QString hash = ContentHasher::sha256Blocking(QUrl::fromLocalFile(large.fileName()));
    DriveAPI::LocalContent content;
    content.url = QUrl::fromLocalFile(large.fileName());
    content.size = large.size();
    content.contentHash = hash;
    content.contentType = u"application/octet-stream"_qs;
    runAsync(mounted->drive.createFile(u"grand.bin"_qs, {}, content, {}), std::chrono::seconds(60));

    QVERIFY(!awaitCompletion(mounted->system->signalWorkingSet(mounted->email, {})));
    // Killed once the content is flowing, before it is all there.
    QVERIFY(QTest::qWaitFor(
        [&] {
            const FileProviderProgress moving =
                progress(*mounted, FileProviderTransferKind::download);
            return !moving.finished && moving.completedUnitCount > 0;
        },
        30000));
    mounted->bus->killDaemon();
    QVERIFY(!QFile::exists(mounted->folder() + u"/grand.bin"_qs));

    // The next call starts it again; it finds the journal, the cursor and the folder agreeing.
    const auto error = stabilise(*mounted);
    QVERIFY2(!error, qPrintable(describe(error)));
    QCOMPARE(diskTree(mounted->folder()), driveTree(mounted->drive));
    QCOMPARE(grantsOfSmallFiles(), grantsBefore); // what was there was not fetched again
    QDirIterator leftovers(mounted->folder(), {u".nimbal-*.part"_qs}, QDir::Files | QDir::Hidden,
                           QDirIterator::Subdirectories);
    QVERIFY(!leftovers.hasNext());
}

void TestExtension::removalKeepsUnsentWork()
{
    auto mounted = account(u"removal"_qs);
    const qint64 documents = runAsync(mounted->drive.createFolder(u"Documents"_qs, {}));
    service().putFile(mounted->email, u"synchronisé.txt"_qs, "du Nimbal", documents);
    service().putFile(mounted->email, u"modifié.txt"_qs, "avant", documents);
    addDomain(*mounted);
    QVERIFY(!stabilise(*mounted, false));

    const QString folder = mounted->folder();
    QFile draft(folder + u"/Documents/brouillon.txt"_qs);
    QVERIFY(draft.open(QIODevice::WriteOnly));
    draft.write("pas encore envoyé");
    draft.close();
    QFile edited(folder + u"/Documents/modifié.txt"_qs);
    QVERIFY(edited.open(QIODevice::WriteOnly | QIODevice::Append));
    edited.write(", après");
    edited.close();

    const auto error = awaitCompletion(mounted->system->removeDomain(mounted->email, {}));
    QVERIFY2(!error, qPrintable(describe(error)));
    QVERIFY(!QFileInfo::exists(folder));
    const QString kept = folder + u" (non synchronisé)"_qs;
    QCOMPARE(diskTree(kept).keys(), (QStringList{u"Documents"_qs, u"Documents/brouillon.txt"_qs,
                                                 u"Documents/modifié.txt"_qs}));
    QVERIFY(!QFile::exists(mounted->bus->container() + u"/item-store-"_qs
                           + accountFileKey(mounted->email) + u".json"_qs));
    QVERIFY(runAsync(mounted->system->domains({})).isEmpty());
}

void TestExtension::commandsSwitchTheExtension()
{
    auto mounted = account(u"commands"_qs);
    addDomain(*mounted);
    ExtensionBus &bus = *mounted->bus;
    // The application's rule: the first line naming the extension; "-" first means off.
    const auto extensionIsOn = [&] {
        const QStringList lines = bus.runCommand({u"status"_qs}).split(u'\n', Qt::SkipEmptyParts);
        for (const QString &line : lines) {
            if (line.contains(fileProviderBundleIdentifier))
                return !line.trimmed().startsWith(u'-');
        }
        qFatal("no status line names the extension");
    };
    QVERIFY(extensionIsOn());
    QVERIFY(bus.runCommand({u"status"_qs})
                .startsWith(u"+    net.orvelan.nimbal.sync.fileprovider("_qs));

    int status = -1;
    bus.runCommand({u"disable"_qs}, &status);
    QCOMPARE(status, 0);
    QVERIFY(!extensionIsOn());
    const auto refused = stabilise(*mounted);
    QVERIFY(refused);
    QCOMPARE(refused->name, u"net.orvelan.nimbal.FileProvider1.Error.ExtensionDisabled"_qs);
    bus.runCommand({u"enable"_qs}, &status);
    QCOMPARE(status, 0);
    QVERIFY(extensionIsOn());

    const auto userEnabled = [&] {
        const QList<FileProviderDomain> domains = runAsync(mounted->system->domains({}));
        return !domains.isEmpty() && domains.first().userEnabled;
    };
    bus.runCommand({u"disable"_qs, mounted->email}, &status);
    QCOMPARE(status, 0);
    QVERIFY(!userEnabled());
    bus.runCommand({u"enable"_qs, mounted->email}, &status);
    QVERIFY(userEnabled());
    bus.runCommand({u"disable"_qs, u"personne@nimbal.test"_qs}, &status);
    QCOMPARE(status, 1);
    QVERIFY(bus.runCommand({u"--help"_qs}).contains(u"enable COMPTE"_qs));
}

void TestExtension::clientHearsThePause()
{
    auto mounted = account(u"pause"_qs);
    addDomain(*mounted);
    DBusFileProviderSystem &system = *mounted->system;
    const auto pauseNow = [&] { return runAsync(system.pause(mounted->email, {})); };
    QVERIFY(pauseNow() == FileProviderPause{});
    // What the client tells, as it tells it.
    QList<std::pair<QString, FileProviderPause>> notices;
    QObject::connect(&system, &FileProviderSystem::pauseChanged, &system,
                     [&](const QString &identifier, const FileProviderPause &pause) {
                         notices.append({identifier, pause});
                     });
    const auto lastNotice = [&] {
        return notices.isEmpty() ? FileProviderPause{} : notices.constLast().second;
    };

    // Paused from here: the notice is in before the answer, and the pause reads as it says.
    QVERIFY(!awaitCompletion(system.setPaused(mounted->email, true, {})));
    QCOMPARE(notices.size(), 1);
    QCOMPARE(notices.constFirst().first, mounted->email);
    QVERIFY(lastNotice() == (FileProviderPause{true, std::nullopt}));
    QVERIFY(pauseNow() == lastNotice());

    // Paused elsewhere (a terminal) for two seconds, and the extension killed meanwhile: the one
    // the application starts again still ends the pause on time, and the client hears it.
    const QDateTime end = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() + 2);
    QDBusMessage call =
        QDBusMessage::createMethodCall(fileProviderBundleIdentifier, FileProviderBus::objectPath,
                                       FileProviderBus::interfaceName, u"Pause"_qs);
    call << mounted->email << end.toSecsSinceEpoch();
    const QDBusMessage reply = mounted->bus->bus().call(call);
    QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
    QTRY_VERIFY(lastNotice() == (FileProviderPause{true, end}));
    mounted->bus->killDaemon();
    QTRY_VERIFY_WITH_TIMEOUT(!lastNotice().paused, 15000);
    QVERIFY(pauseNow() == FileProviderPause{});
    QVERIFY(mounted->bus->daemonPid() > 0);
}

#ifdef NIMBAL_HAS_DOMAIN_CONTROLLER
void TestExtension::domainControllerRunsOverTheBus()
{
    auto mounted = account(u"controller"_qs);
    // A domain left by another account: mounting this one takes it away.
    const QString previous = LocalService::uniqueEmail(u"previous"_qs);
    QVERIFY(!awaitCompletion(mounted->system->addDomain({previous, previous, true}, {})));
    QVERIFY(QFileInfo(mounted->bus->domainFolder(previous)).isDir());

    auto system = std::shared_ptr<FileProviderSystem>(std::move(mounted->system));
    DomainController controller(system, systemClock());
    runAsync(controller.mount(mounted->email, {}), std::chrono::seconds(60));
    QVERIFY(runAsync(controller.isMounted(mounted->email, {}), std::chrono::seconds(10)));
    QVERIFY(!runAsync(controller.isMounted(previous, {}), std::chrono::seconds(10)));
    QVERIFY(!QFileInfo::exists(mounted->bus->domainFolder(previous)));
    QCOMPARE(runAsync(controller.userVisibleURL(mounted->email, {}), std::chrono::seconds(10)),
             std::optional(QUrl::fromLocalFile(mounted->folder())));

    // A large file on its way shows as the panel's text, then nothing once it is there.
    QTemporaryFile large;
    QVERIFY(large.open());
    large.write(generated(128 << 20));
    large.flush();
    DriveAPI::LocalContent content;
    content.url = QUrl::fromLocalFile(large.fileName());
    content.size = large.size();
    content.contentHash = ContentHasher::sha256Blocking(content.url);
    content.contentType = u"application/octet-stream"_qs;
    runAsync(mounted->drive.createFile(u"grand.bin"_qs, {}, content, {}), std::chrono::seconds(60));
    QVERIFY(runAsync(controller.signal(mounted->email, false, std::chrono::seconds(60), {}),
                     std::chrono::seconds(10)));
    std::optional<QString> shown;
    QVERIFY(QTest::qWaitFor(
        [&] {
            shown = runAsync(controller.transferLabel(mounted->email, {}));
            return shown.has_value();
        },
        30000));
    QVERIFY2(shown->startsWith(u"Téléchargement en cours… "_qs) && shown->endsWith(u" %"_qs),
             qPrintable(*shown));
    QVERIFY(runAsync(controller.signal(mounted->email, true, std::chrono::seconds(60), {}),
                     std::chrono::seconds(70)));
    QCOMPARE(runAsync(controller.transferLabel(mounted->email, {})), std::nullopt);
    QCOMPARE(diskTree(mounted->folder()), driveTree(mounted->drive));
}
#endif

QTEST_GUILESS_MAIN(TestExtension)
#include "test_extension.moc"
