// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AsyncTest.h"
#include "ClientHarness.h"
#include "EventLoopWaits.h"
#include "InMemoryFileProviderSystem.h"
#include "ModelDoubles.h"
#include "model/AppModel.h"

#include <QTemporaryDir>

#include <functional>

namespace OrvelanNimbal::Testing {

// An AppModel over doubles: the scripted transport (answering by path under the API, the quota
// with 512 of 10240 MB), in-memory stores, a manual clock whose sleeps wait for advance(), the
// in-memory file-provider system, preferences in a file of their own, scripted live events. The
// extension's tool is absent (its state unknown) unless the test gives it a status.
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
    QHash<QString, std::function<FakeTransport::Reply()>> answers;
    std::unique_ptr<AppModel> model;

    ModelHarness();
    // The model goes first, and its cancelled waits unwind while the doubles are still there.
    ~ModelHarness();

    ManualClock &clock() { return *service.clock; }
    AppEnvironment environment();
    UpdateConfiguration quietUpdates() const;
    // Builds the model and waits for its restore.
    AppModel &start();
    // A session stored by a previous run.
    void storeSession();
    // Signed in and ready, the first activity tick over and the first signal sent.
    void signedInAndLive();
    // Signed in with a password, waiting for an authenticator or recovery code.
    AppModel &twoFactorPending();

    // The extension's status command answers this text.
    void setExtensionStatus(const QByteArray &output);
    // Its runs, one line each with its arguments.
    QList<QByteArray> extensionRuns() const;
    qsizetype requestCount(const QString &path) const;

    // Activity ticks ended so far (each ends by sleeping 2 s).
    int ticks() const;
    // Moves the clock by one activity period and waits for the tick it starts to end.
    void nextTick();

    static FakeTransport::Reply session();
    static FakeTransport::Reply challenge(const QStringList &methods);
};

// A status as tests write it: "Ready", "Failed(Code invalide.)", "TwoFactor(ana@…)".
QString describe(const AppStatus &status);

} // namespace OrvelanNimbal::Testing

namespace OrvelanNimbal {

inline char *toString(const AppStatus &status)
{
    return QTest::toString(Testing::describe(status));
}

} // namespace OrvelanNimbal
