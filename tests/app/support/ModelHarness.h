// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AsyncTest.h"
#include "ClientHarness.h"
#include "EventLoopWaits.h"
#include "InMemoryFileProviderSystem.h"
#include "ModelDoubles.h"
#include "model/AppModel.h"

#include <QTemporaryDir>

#include <chrono>
#include <functional>

namespace OrvelanNimbal::Testing {

// An AppModel over doubles: the scripted transport (answering sign-in, verification and quota
// as the test says), in-memory stores, a manual clock whose sleeps wait for advance(), the
// in-memory file-provider system, preferences in a file of their own, and scripted live events.
// The extension tool is absent (its state unknown) unless the test gives it a status.
struct ModelHarness {
    static inline const QString account = QStringLiteral("ana@orvelan.net");

    ClientHarness service;
    std::shared_ptr<InMemoryFileProviderSystem> system =
        std::make_shared<InMemoryFileProviderSystem>();
    QTemporaryDir folder;
    std::shared_ptr<Preferences> preferences;
    std::shared_ptr<FakeLoginItem> loginItem = std::make_shared<FakeLoginItem>();
    std::shared_ptr<WakeNotifier> wake = std::make_shared<WakeNotifier>();
    std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
    ScriptedLiveEvents live;
    std::optional<QString> computerName = QStringLiteral("Poste d'Ana");
    QString extensionProgram;
    std::unique_ptr<AppModel> model;

    // Answers by path under the API ("/auth/login-jmap"); quota answers 512 of 10240 MB.
    QHash<QString, std::function<FakeTransport::Reply()>> answers;

    ModelHarness();
    // The model goes first, and its cancelled waits unwind while their doubles are still there.
    ~ModelHarness();
    ManualClock &clock() { return *service.clock; }

    // Builds the model and waits for its restore.
    AppModel &start();
    // A stored session, as a previous run left it.
    void storeSession();
    // The extension's status command answers this text (an empty one: nothing at all).
    void setExtensionStatus(const QByteArray &output);
    int extensionRuns() const;
    // Requests the transport saw to a path.
    qsizetype requestCount(const QString &path) const;

    // Signed in and ready, with the first activity tick done and the first signal sent.
    void signedInAndLive();
    // Number of activity ticks that have ended (each ends by sleeping 2 s).
    int ticks() const;
    // Moves the clock by one activity period and waits for the tick it starts to end.
    void nextTick();

    static FakeTransport::Reply session(const QString &email = account);
    static FakeTransport::Reply challenge(const QStringList &methods);
};

} // namespace OrvelanNimbal::Testing

namespace OrvelanNimbal {

namespace Testing {
// A status as tests write it: "Ready", "Failed(Code invalide.)", "TwoFactor(ana@…)".
QString describe(const AppStatus &status);
} // namespace Testing

// Lets QCOMPARE show a status the same way.
inline char *toString(const AppStatus &status)
{
    return QTest::toString(Testing::describe(status));
}

} // namespace OrvelanNimbal
