// SPDX-License-Identifier: GPL-3.0-or-later
// The application's model end to end, against the real service, the real transport and event
// stream and the desktop's Secret Service: sign-in with an authenticator code, a change made on
// the service reaching the file-provider system as a signal within the debounce, an expired token
// renewed silently, sign-out keeping the trusted device, and the next launch restoring the
// session. Only the file-provider system is the in-memory one.
#include "AsyncTest.h"
#include "EventLoopWaits.h"
#include "InMemoryFileProviderSystem.h"
#include "ModelDoubles.h"
#include "OathTool.h"
#include "ServiceTest.h"
#include "model/AppModel.h"
#include "system/XdgAutostartEntry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace OrvelanNimbal;
using namespace OrvelanNimbal::Testing;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString loginPath = u"/api/v1/auth/login-jmap"_s;
const QString verifyPath = u"/api/v1/auth/2fa/verify"_s;

} // namespace

class TestAppModel : public ServiceTest {
    Q_OBJECT

private slots:
    void fromSignInToSignOut();

private:
    // The model as the application builds it, but for the service's address, the in-memory
    // file-provider system and files of the test's own.
    std::unique_ptr<AppModel> launch();

    QTemporaryDir m_folder;
    std::shared_ptr<InMemoryFileProviderSystem> m_system =
        std::make_shared<InMemoryFileProviderSystem>();
    std::shared_ptr<RecordingDesktop> m_desktop = std::make_shared<RecordingDesktop>();
};

std::unique_ptr<AppModel> TestAppModel::launch()
{
    const QDir folder(m_folder.path());
    return std::make_unique<AppModel>(AppEnvironment{
        newClient(),
        service().eventsBaseURL(),
        {},
        m_system,
        std::make_shared<Preferences>(
            std::make_unique<QSettings>(folder.filePath(u"nimbal.conf"_s), QSettings::IniFormat)),
        std::make_shared<XdgAutostartEntry>(folder.filePath(u"autostart"_s),
                                            u"/usr/bin/orvelan-nimbal"_s),
        std::make_shared<ExtensionTool>(QString()),
        std::make_shared<WakeNotifier>(),
        [] { return std::optional(u"Poste de test"_s); },
        m_desktop,
           UpdateConfiguration::compiledIn(),
        {},
    });
}

void TestAppModel::fromSignInToSignOut()
{
    const QString email = addAccount(u"app-model"_s, true);
    std::unique_ptr<AppModel> model = launch();
    runAsync(model->whenIdle());
    QCOMPARE(model->status(), AppStatus::signedOut());

    // Sign-in with the authenticator's code, remembering this computer.
    model->signIn(email, password);
    runAsync(model->whenIdle(), 10s);
    QCOMPARE(model->status().kind(), AppStatus::Kind::TwoFactor);
    model->submitCode(*model->status().challenge(), false, totpCode(totpSecret), true);
    runAsync(model->whenIdle(), 10s);
    QCOMPARE(model->status(), AppStatus::ready());
    QCOMPARE(model->account(), email);
    QCOMPARE(m_system->registered().size(), 1);
    QCOMPARE(m_system->registered().first().identifier, email);
    QVERIFY(model->quota());
    QCOMPARE(model->quota()->maxMegabytes, 10240.0);
    QVERIFY(
        QFile::exists(QDir(m_folder.path()).filePath(u"autostart/net.orvelan.nimbal.desktop"_s)));

    // Live: the stream connects and the first signal follows its debounce.
    waitUntil([&] { return model->liveStatus() == DriveEventStream::Status::connected(); }, 10s);
    waitUntil([&] { return m_system->signalCount() == 1; }, 10s);

    // A change made on the service reaches the system as a signal: the service's own debounce,
    // the stream, then ours of half a second.
    QElapsedTimer sinceChange;
    sinceChange.start();
    service().putFile(email, u"note.txt"_s, "bonjour");
    waitUntil([&] { return m_system->signalCount() == 2; }, 10s);
    QVERIFY2(sinceChange.elapsed() >= 450 && sinceChange.elapsed() < 1500,
             qPrintable(u"%1 ms"_s.arg(sinceChange.elapsed())));

    // An expired token: the refresh signs in again silently (the trusted device spares the
    // second factor) and the quota comes back.
    service().expireAccessTokens();
    const int logins = service().requestCount("POST", loginPath);
    model->refreshNow();
    runAsync(model->whenIdle(), 10s);
    QCOMPARE(service().requestCount("POST", loginPath), logins + 1);
    QCOMPARE(service().requestCount("POST", verifyPath), 1);
    QCOMPARE(model->status(), AppStatus::ready());
    QVERIFY(model->quota());
    QVERIFY(model->lastSyncSignal());

    // The next launch finds the session in the keychain and is ready without signing in.
    model.reset();
    model = launch();
    runAsync(model->whenIdle(), 10s);
    QCOMPARE(model->status(), AppStatus::ready());
    QCOMPARE(service().requestCount("POST", loginPath), logins + 1);

    // Sign-out: the domain and the session go, the trusted device stays; the next sign-in
    // needs no code.
    model->signOut();
    runAsync(model->whenIdle(), 10s);
    QCOMPARE(model->status(), AppStatus::signedOut());
    QVERIFY(m_system->registered().isEmpty());
    QCOMPARE(runAsync(keychain().sessionStore()->load()), std::nullopt);
    QVERIFY(runAsync(keychain().trustedDevices()->token(email)));
    model->signIn(email, password);
    runAsync(model->whenIdle(), 10s);
    QCOMPARE(model->status(), AppStatus::ready());
    QCOMPARE(service().requestCount("POST", verifyPath), 1);

    model->signOut();
    runAsync(model->whenIdle(), 10s);
}

QTEST_GUILESS_MAIN(TestAppModel)
#include "test_app_model.moc"
