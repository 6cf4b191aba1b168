// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/DriveAPI.h"
#include "domains/DomainController.h"
#include "model/AppEnvironment.h"
#include "model/AppStatus.h"
#include "model/ModelValues.h"
#include "model/PanelModel.h"
#include "updates/Updater.h"

#include <QList>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

namespace OrvelanNimbal {

class Wakeup;

// The one state object of the application: who is signed in and how, the live link to the
// service, the drive's folder, quota, transfers, conflicts and the approvals the desktop still
// needs. The panel observes it (as the PanelModel it is) and calls its operations; nothing else
// holds state.
//
// Everything runs on the main thread. Operations that wait are coroutines started by the model
// and tied to it: each wait ends early when the model goes away, and nothing resumes into it
// afterwards. All timing goes through the client's clock. Its work is split by concern:
// AppModel.cpp (sign-in, the second factor, sign-out), AppModelLive.cpp (the live task and the
// signals), AppModelDrive.cpp (quota, summary, refresh, conflicts, the folder),
// AppModelPause.cpp (the synchronisation's pause) and AppModelApprovals.cpp (launch at login,
// the extension's switches).
class AppModel final : public PanelModel {
    Q_OBJECT

public:
    using Status = AppStatus;

    // Starts restoring a stored session on the next turn of the event loop.
    explicit AppModel(AppEnvironment environment, QObject *parent = nullptr);
    ~AppModel() override;

    Updater *updater() const { return m_updater; }
    std::optional<QString> conflictText() const override;

    // --- Sign-in ---
    void signIn(const QString &email, const QString &password) override;
    void submitCode(const ChallengeInfo &challenge, bool useRecovery, const QString &code,
                    bool rememberDevice) override;
    void cancelTwoFactor() override;
    void signOut() override;

    // --- Live sync ---
    // Requests a signal to the file-provider system after a short debounce; requests while one
    // is in flight collapse into one more after it.
    void scheduleSignal();
    void applyLiveStatus(DriveEventStream::Status status);
    void refreshNow() override;
    void dismissConflicts() override;
    void openInFinder() override;
    void setSyncPaused(bool paused) override;

    // --- Launch at login and approvals ---
    void setLaunchAtLogin(bool enabled) override;
    void refreshLaunchAtLogin() override;
    void openSettings() override;
    void reactivate() override;

    // Completes once every operation started so far (restore included) has ended; the periodic
    // work of a signed-in model does not count. For callers that must know: tests, benchmarks.
    // The model must outlive the wait.
    QCoro::Task<> whenIdle();

protected:
    QObject *updaterObject() const override { return m_updater; }
    QDateTime now() const override;

private:
    // How long a signal may wait for the system to catch up.
    static constexpr std::chrono::seconds stabilizationTimeout{60};

    void start(QCoro::Task<> operation);
    static QCoro::Task<> settle(QCoro::Task<> operation, QPointer<AppModel> model);
    QCoro::Task<> restore();
    void restoreFailed(const std::exception &error);
    QCoro::Task<> signingIn(QString email, QString password);
    QCoro::Task<> verifying(TwoFactorChallenge challenge, bool useRecovery, QString code,
                            bool rememberDevice);
    QCoro::Task<> activate(QString account, CancellationToken cancel);
    QCoro::Task<> becomeReady(QString account, CancellationToken cancel);
    QCoro::Task<> signingOut();

    void startLive(const QString &account);
    void stopLive();
    // Runs one loop of the live task for as long as the live task runs: an end of the loop
    // while it should go on, error or not, is logged, and the loop starts again.
    QCoro::Task<> keepRunning(const char *name, std::function<QCoro::Task<>()> loop,
                              CancellationToken cancel);
    QCoro::Task<> runLiveEvents(CancellationToken cancel);
    QCoro::Task<> runSafetySignals(CancellationToken cancel);
    QCoro::Task<> runActivity(QString account, CancellationToken cancel);
    QCoro::Task<> runSignal(QString account, CancellationToken cancel);
    QCoro::Task<> updateTransferLabel(QString account, CancellationToken cancel);
    QCoro::Task<> refreshQuota(CancellationToken cancel);
    QCoro::Task<std::optional<DomainSummary>> loadSummary(QString account,
                                                          CancellationToken cancel);
    QCoro::Task<> refreshing();
    QCoro::Task<> openingFolder();

    // Shows the account's pause from now on, wherever it is set, until stopFollowingPause().
    void followPause(const QString &account, CancellationToken cancel);
    void stopFollowingPause();
    QCoro::Task<> readPause(QString account, CancellationToken cancel);
    QCoro::Task<> changingPause(bool paused);

    void applyLaunchAtLoginDefault();
    QCoro::Task<> checkApprovals(QString account, CancellationToken cancel);
    QCoro::Task<> reactivating();

    const AppEnvironment m_environment;
    const DriveAPI m_api;
    Updater *const m_updater; // a child: it goes with the model
    DomainController m_domains;
    // Cancelled first thing in the destructor: every wait of the model hangs off it.
    CancellationSource m_lifetime;

    // Live work: a task stands for the source that cancels it.
    std::optional<CancellationSource> m_liveTask;
    std::optional<CancellationSource> m_signalTask;
    bool m_signalPending = false;
    QMetaObject::Connection m_wakeObserver;
    QMetaObject::Connection m_pauseObserver;
    bool m_hasRestored = false;
    qint64 m_activityTicks = 0;
    qint64 m_extensionChecks = 0;

    int m_runningOperations = 0;
    QList<std::shared_ptr<Wakeup>> m_idleWaiters;
};

} // namespace OrvelanNimbal
