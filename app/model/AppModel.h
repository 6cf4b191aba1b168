// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/DriveAPI.h"
#include "domains/DomainController.h"
#include "model/AppEnvironment.h"
#include "model/AppStatus.h"
#include "model/ModelValues.h"
#include "updates/Updater.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace OrvelanNimbal {

class Wakeup;

// The one state object of the application: who is signed in and how, the live link to the
// service, the drive's folder, quota, transfers, conflicts and the approvals the desktop still
// needs. The panel observes it and calls its operations; nothing else holds state.
//
// Everything runs on the main thread. Operations that wait are coroutines started by the model
// and tied to it: each wait ends early when the model goes away, and nothing resumes into it
// afterwards. All timing goes through the client's clock.
//
// For QML — every property is read-only and has its own NOTIFY signal (name + "Changed"):
//   status          AppStatus { kind: AppStatus.SignedOut | Connecting | Ready | TwoFactor |
//                   Failed, message (of Failed), challenge { account, methods, expiresAt,
//                   acceptsAuthenticatorCode, acceptsRecoveryCode } (of TwoFactor) }
//   account, lastEmail, twoFactorError, transferLabel        string, "" when absent
//   isVerifying, launchAtLogin, launchAtLoginNeedsApproval,
//   extensionNeedsApproval, isSynchronizing                   bool
//   quota           QuotaInfo { usedMegabytes, maxMegabytes, fraction }, undefined when absent
//   summary         SummaryInfo { archivedLabel ("" when none), archivedFileCount }, or undefined
//   liveStatus      LiveStatusInfo { kind: LiveStatusInfo.Disconnected | Connected |
//                   Unauthorized, retryIn (seconds) }, undefined before the first report
//   lastSyncSignal  date, invalid when absent
//   statusText, lastSyncText, conflictText                    string, "" when absent
//   updater         Updater: pendingVersion, shortVersion, longVersion, checkForUpdates()…
//                   (constant)
// Operations, started and not awaited (the properties above show their progress): signIn(email,
// password), submitCode(challenge, useRecovery, code, rememberDevice) with the challenge as read
// from status, cancelTwoFactor() for the two-factor view's back button, signOut(), refreshNow(),
// openInFinder(), dismissConflicts(), setLaunchAtLogin(enabled), refreshLaunchAtLogin(),
// openSettings(), reactivate() for the approval card's button.
// The enums are read through their types: register AppStatus and LiveStatusInfo with
// qmlRegisterUncreatableMetaObject.
class AppModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(OrvelanNimbal::AppStatus status READ status NOTIFY statusChanged)
    Q_PROPERTY(QString account READ qmlAccount NOTIFY accountChanged)
    Q_PROPERTY(QString lastEmail READ lastEmail NOTIFY lastEmailChanged)
    Q_PROPERTY(QString twoFactorError READ qmlTwoFactorError NOTIFY twoFactorErrorChanged)
    Q_PROPERTY(bool isVerifying READ isVerifying NOTIFY isVerifyingChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(bool launchAtLoginNeedsApproval READ launchAtLoginNeedsApproval NOTIFY
                   launchAtLoginNeedsApprovalChanged)
    Q_PROPERTY(bool extensionNeedsApproval READ extensionNeedsApproval NOTIFY
                   extensionNeedsApprovalChanged)
    Q_PROPERTY(QVariant quota READ qmlQuota NOTIFY quotaChanged)
    Q_PROPERTY(QDateTime lastSyncSignal READ qmlLastSyncSignal NOTIFY lastSyncSignalChanged)
    Q_PROPERTY(bool isSynchronizing READ isSynchronizing NOTIFY isSynchronizingChanged)
    Q_PROPERTY(QVariant summary READ qmlSummary NOTIFY summaryChanged)
    Q_PROPERTY(QVariant liveStatus READ qmlLiveStatus NOTIFY liveStatusChanged)
    Q_PROPERTY(QString transferLabel READ qmlTransferLabel NOTIFY transferLabelChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
    Q_PROPERTY(QString lastSyncText READ qmlLastSyncText NOTIFY lastSyncTextChanged)
    Q_PROPERTY(QString conflictText READ qmlConflictText NOTIFY conflictTextChanged)
    Q_PROPERTY(OrvelanNimbal::Updater *updater READ updater CONSTANT)

public:
    using Status = AppStatus;

    // Starts restoring a stored session on the next turn of the event loop.
    explicit AppModel(AppEnvironment environment, QObject *parent = nullptr);
    ~AppModel() override;

    // --- Observable state ---
    const AppStatus &status() const { return m_status; }
    const std::optional<QString> &account() const { return m_account; }
    const QString &lastEmail() const { return m_lastEmail; }
    const std::optional<QString> &twoFactorError() const { return m_twoFactorError; }
    bool isVerifying() const { return m_isVerifying; }
    bool launchAtLogin() const { return m_launchAtLogin; }
    bool launchAtLoginNeedsApproval() const { return m_launchAtLoginNeedsApproval; }
    bool extensionNeedsApproval() const { return m_extensionNeedsApproval; }
    const std::optional<DriveQuota> &quota() const { return m_quota; }
    const std::optional<QDateTime> &lastSyncSignal() const { return m_lastSyncSignal; }
    bool isSynchronizing() const { return m_isSynchronizing; }
    const std::optional<DomainSummary> &summary() const { return m_summary; }
    const std::optional<DriveEventStream::Status> &liveStatus() const { return m_liveStatus; }
    const std::optional<QString> &transferLabel() const { return m_transferLabel; }
    Updater *updater() const { return m_updater; }

    // --- Texts ---
    QString statusText() const;
    // « Actualisé à 14:07 » after a manual refresh.
    std::optional<QString> lastSyncText() const;
    // The newest conflict, unless the user dismissed it.
    std::optional<QString> conflictText() const;

    // --- Sign-in ---
    Q_INVOKABLE void signIn(const QString &email, const QString &password);
    Q_INVOKABLE void submitCode(const OrvelanNimbal::ChallengeInfo &challenge, bool useRecovery,
                                const QString &code, bool rememberDevice);
    Q_INVOKABLE void cancelTwoFactor();
    Q_INVOKABLE void signOut();

    // --- Live sync ---
    // Requests a signal to the file-provider system after a short debounce; requests while one
    // is in flight collapse into one more after it.
    void scheduleSignal();
    void applyLiveStatus(DriveEventStream::Status status);
    Q_INVOKABLE void refreshNow();
    Q_INVOKABLE void dismissConflicts();
    Q_INVOKABLE void openInFinder();

    // --- Launch at login and approvals ---
    Q_INVOKABLE void setLaunchAtLogin(bool enabled);
    Q_INVOKABLE void refreshLaunchAtLogin();
    Q_INVOKABLE void openSettings();
    // Turns the extension's service and the account's folder back on: the user's click on the
    // approval card is the consent.
    Q_INVOKABLE void reactivate();

    // Completes once every operation started so far (restore included) has ended; the periodic
    // work of a signed-in model does not count. For callers that must know: tests, benchmarks.
    // The model must outlive the wait.
    QCoro::Task<> whenIdle();

signals:
    void statusChanged();
    void accountChanged();
    void lastEmailChanged();
    void twoFactorErrorChanged();
    void isVerifyingChanged();
    void launchAtLoginChanged();
    void launchAtLoginNeedsApprovalChanged();
    void extensionNeedsApprovalChanged();
    void quotaChanged();
    void lastSyncSignalChanged();
    void isSynchronizingChanged();
    void summaryChanged();
    void liveStatusChanged();
    void transferLabelChanged();
    void statusTextChanged();
    void lastSyncTextChanged();
    void conflictTextChanged();

private:
    // Operations (AppModel.cpp: sign-in; AppModelLive.cpp: live sync; AppModelApprovals.cpp).
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

    void applyLaunchAtLoginDefault();
    QCoro::Task<> checkApprovals(QString account, CancellationToken cancel);
    QCoro::Task<> reactivating();

    // Setters: each notifies when the value changes.
    template <class T, class... Notifications>
    void update(T &field, T value, Notifications... notifications)
    {
        if (field == value)
            return;
        field = std::move(value);
        (emit(this->*notifications)(), ...);
    }
    void setStatus(AppStatus status);
    void setAccount(std::optional<QString> account);
    void setLastEmail(const QString &email);
    void setTwoFactorError(std::optional<QString> message);
    void setIsVerifying(bool verifying);
    void setLaunchAtLoginFlags(bool enabled, bool needsApproval);
    void setExtensionNeedsApproval(bool needed);
    void setQuota(std::optional<DriveQuota> quota);
    void setLastSyncSignal(QDateTime at);
    void setIsSynchronizing(bool synchronizing);
    void setSummary(std::optional<DomainSummary> summary);
    void setLiveStatus(std::optional<DriveEventStream::Status> status);
    void setTransferLabel(std::optional<QString> label);

    // Readers for QML, where absent is "" or undefined.
    QString qmlAccount() const { return m_account.value_or(QString()); }
    QString qmlTwoFactorError() const { return m_twoFactorError.value_or(QString()); }
    QVariant qmlQuota() const;
    QDateTime qmlLastSyncSignal() const { return m_lastSyncSignal.value_or(QDateTime()); }
    QVariant qmlSummary() const;
    QVariant qmlLiveStatus() const;
    QString qmlTransferLabel() const { return m_transferLabel.value_or(QString()); }
    QString qmlLastSyncText() const { return lastSyncText().value_or(QString()); }
    QString qmlConflictText() const { return conflictText().value_or(QString()); }

    const AppEnvironment m_environment;
    const DriveAPI m_api;
    Updater *const m_updater; // a child: it goes with the model
    DomainController m_domains;
    // Cancelled first thing in the destructor: every wait of the model hangs off it.
    CancellationSource m_lifetime;

    // Observable state.
    AppStatus m_status;
    std::optional<QString> m_account;
    QString m_lastEmail;
    std::optional<QString> m_twoFactorError;
    bool m_isVerifying = false;
    bool m_launchAtLogin = false;
    bool m_launchAtLoginNeedsApproval = false;
    bool m_extensionNeedsApproval = false;
    std::optional<DriveQuota> m_quota;
    std::optional<QDateTime> m_lastSyncSignal;
    bool m_isSynchronizing = false;
    std::optional<DomainSummary> m_summary;
    std::optional<DriveEventStream::Status> m_liveStatus;
    std::optional<QString> m_transferLabel;

    // Live work: a task stands for the source that cancels it.
    std::optional<CancellationSource> m_liveTask;
    std::optional<CancellationSource> m_signalTask;
    bool m_signalPending = false;
    QMetaObject::Connection m_wakeObserver;
    bool m_hasRestored = false;
    qint64 m_activityTicks = 0;
    qint64 m_extensionChecks = 0;

    int m_runningOperations = 0;
    QList<std::shared_ptr<Wakeup>> m_idleWaiters;
};

} // namespace OrvelanNimbal
