// SPDX-License-Identifier: GPL-3.0-or-later
// The updater against the local service's feed and release files, over the real transport.
#include "AsyncTest.h"
#include "LocalService.h"
#include "OpensslSigner.h"
#include "UpdaterHarness.h"
#include "auth/InMemoryStores.h"
#include "client/ApiClient.h"
#include "net/NetworkAccessTransport.h"
#include "updates/UpdateError.h"

#include <QProcess>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;

using State = Updater::State;

namespace {

constexpr qint64 mebibyte = 1024 * 1024;

} // namespace

class TestUpdateService : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void feedAndInstall_data();
    void feedAndInstall();
    void demoRelease();

private:
    // Runs `nimbal-service publish-release` on the running service's data; the file published.
    QString publish(const QString &version, const QString &keyFile, const QByteArray &bytes);
    std::unique_ptr<Updater> updaterFor(const QByteArray &publicKey);

    std::unique_ptr<LocalService> m_service;
    std::unique_ptr<OpensslSigner> m_signer;
    QTemporaryDir m_folder;
    std::shared_ptr<FakeDesktop> m_desktop;
};

void TestUpdateService::initTestCase()
{
    if (!LocalService::unavailableReason().isEmpty())
        QSKIP(qPrintable(LocalService::unavailableReason()));
    m_service = std::make_unique<LocalService>();
    QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
    m_signer = std::make_unique<OpensslSigner>();
}

void TestUpdateService::cleanup()
{
    m_service->reset();
}

QString TestUpdateService::publish(const QString &version, const QString &keyFile,
                                   const QByteArray &bytes)
{
    QStringList arguments{u"publish-release"_qs,
                          u"--data"_qs,
                          m_service->dataDirectory(),
                          u"--signing-key"_qs,
                          keyFile,
                          u"--release-version"_qs,
                          version,
                          u"--notes"_qs,
                          u"Envoi plus rapide."_qs,
                          u"--minimum-system-version"_qs,
                          u"2.0"_qs};
    QString file;
    if (!bytes.isEmpty()) {
        file = m_folder.filePath(u"orvelan-nimbal_%1_amd64.deb"_qs.arg(version));
        QFile release(file);
        if (!release.open(QIODevice::WriteOnly) || release.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write the release to publish");
        arguments << u"--file"_qs << file;
    }
    QProcess command;
    command.start(qEnvironmentVariable("NIMBAL_SERVICE"), arguments);
    if (!command.waitForFinished(10000) || command.exitCode() != 0)
        throw std::runtime_error("publish-release failed: "
                                 + command.readAllStandardError().toStdString());
    return file;
}

std::unique_ptr<Updater> TestUpdateService::updaterFor(const QByteArray &publicKey)
{
    // Back-off waits of a millisecond: a dropped connection is retried at once.
    auto client = ApiClient::create(
        DriveConfiguration(m_service->apiBaseURL(), 3, std::chrono::milliseconds(1), 10),
        std::make_shared<NetworkAccessTransport>(), std::make_shared<InMemorySessionStore>(),
        std::make_shared<InMemoryTrustedDeviceStore>());
    UpdateConfiguration configuration;
    configuration.feedURL = m_service->eventsBaseURL().resolved(QUrl(u"/updates/appcast.xml"_qs));
    configuration.publicKey = publicKey;
    configuration.currentVersion = u"1.0"_qs;
    configuration.systemVersion = u"2.36"_qs;
    configuration.downloadFolder = m_folder.filePath(u"cache"_qs);
    // No scheduled check gets in the way of the test's own.
    configuration.firstCheckDelay = std::chrono::hours(1);
    m_desktop = std::make_shared<FakeDesktop>();
    return std::make_unique<Updater>(client, configuration, m_desktop);
}

void TestUpdateService::feedAndInstall_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("signedByUs");
    QTest::addColumn<int>("droppedConnections");
    QTest::addColumn<State>("state");
    QTest::addColumn<QString>("message"); // its beginning: the transport words its own failures
    const QString handedOver = u"Le paquet vérifié d'Orvelan Nimbal %1 est ouvert dans votre "
                               "installateur de paquets : terminez-y l'installation, puis "
                               "rouvrez l'application."_qs;
    QTest::newRow("signed release")
        << u"2.1"_qs << true << 0 << State::HandedOver << handedOver.arg(u"2.1"_qs);
    QTest::newRow("a dropped connection is retried")
        << u"2.2"_qs << true << 1 << State::HandedOver << handedOver.arg(u"2.2"_qs);
    QTest::newRow("connection dropped every time")
        << u"2.3"_qs << true << 100 << State::Failed
        << UpdateError(UpdateError::Kind::downloadFailed,
                       u"Le serveur des mises à jour est injoignable ("_qs)
               .errorDescription();
    QTest::newRow("signed by another key")
        << u"2.4"_qs << false << 0 << State::Failed
        << UpdateError(UpdateError::Kind::signatureInvalid).errorDescription();
}

void TestUpdateService::feedAndInstall()
{
    QFETCH(QString, version);
    QFETCH(bool, signedByUs);
    QFETCH(int, droppedConnections);
    const OpensslSigner stranger;
    QByteArray bytes(int(5 * mebibyte + 3), '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i % 251);
    const QString file =
        publish(version, (signedByUs ? *m_signer : stranger).privateKeyFile(), bytes);
    const QString served = u"/updates/releases/"_qs + QFileInfo(file).fileName();
    if (droppedConnections > 0)
        m_service->injectFault("GET", served, {0, true}, droppedConnections);

    auto updater = updaterFor(m_signer->publicKey());
    updater->checkForUpdates();
    QTRY_VERIFY(updater->state() != State::Checking);
    QCOMPARE(updater->state(), State::Available);
    QCOMPARE(updater->foundVersion(), version);
    QCOMPARE(updater->releaseNotes(), u"Envoi plus rapide.");
    updater->install();
    QTRY_VERIFY_WITH_TIMEOUT(
        updater->state() == State::HandedOver || updater->state() == State::Failed, 10000);
    QTEST(updater->state(), "state");
    QFETCH(QString, message);
    QVERIFY2(updater->message().startsWith(message), qPrintable(updater->message()));
    if (updater->state() == State::HandedOver) {
        QVERIFY(m_desktop->openedBytes == bytes);
        // Three pieces of at most 2 MiB, and a dropped one asked again (by the pipeline, or
        // already by the transport itself).
        const int requests = m_service->requestCount("GET", served);
        QVERIFY2(droppedConnections == 0 ? requests == 3 : requests > 3,
                 qPrintable(QString::number(requests)));
    } else {
        QVERIFY(m_desktop->opened.isEmpty());
        QCOMPARE(QDir(m_folder.filePath(u"cache"_qs)).entryList(QDir::Files), QStringList());
    }
}

// What ./run demo publishes: made-up bytes signed with the build tree's key, which the build
// compiled in.
void TestUpdateService::demoRelease()
{
#ifdef NIMBAL_UPDATE_SIGNING_KEY
    publish(u"9.0"_qs, QStringLiteral(NIMBAL_UPDATE_SIGNING_KEY), {});
    auto updater = updaterFor(UpdateConfiguration::compiledIn().publicKey);
    updater->checkForUpdates();
    QTRY_COMPARE(updater->state(), State::Available);
    QCOMPARE(updater->foundVersion(), u"9.0");
    updater->install();
    QTRY_COMPARE_WITH_TIMEOUT(updater->state(), State::HandedOver, 10000);
    QCOMPARE(m_desktop->openedBytes.size(), 3 * mebibyte);
    QVERIFY(m_desktop->opened.first().endsWith(u"/orvelan-nimbal-9.0-demo.bin"_qs));
#else
    QSKIP("built with a release key: no private key in the build tree");
#endif
}

QTEST_GUILESS_MAIN(TestUpdateService)
#include "test_update_service.moc"
