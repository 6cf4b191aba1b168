// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "domains/FileProviderSystem.h"
#include "events/DriveEventStream.h"
#include "model/AppStatus.h"
#include "model/ModelValues.h"
#include "models/DriveModels.h"
#include "sync/DomainSummary.h"

#include <QDateTime>
#include <QObject>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace OrvelanNimbal {

// The application model as the panel sees it (AppModel in QML): every value it shows, each a
// read-only property with its own change signal, and the operations it calls, started and not
// awaited (the properties show their progress). The application's AppModel is one; the
// preview's stand-in, which draws the views in any state, is the other.
//
// In QML an absent text reads "", an absent record undefined:
//   status          appStatus { kind: AppStatus.SignedOut | Connecting | Ready | TwoFactor |
//                   Failed, message (of Failed), challenge (of TwoFactor) }
//   account, lastEmail, twoFactorError, transferLabel                string
//   isVerifying, launchAtLogin, launchAtLoginNeedsApproval,
//   extensionNeedsApproval, isSynchronizing, syncPaused               bool
//   pausedUntil     date: the end of the pause, invalid when it has none or there is no pause
//   quota           quotaInfo { usedMegabytes, maxMegabytes, fraction } or undefined
//   summary         summaryInfo { archivedLabel, archivedFileCount } or undefined
//   liveStatus      liveStatusInfo { kind: LiveStatus.Disconnected | Connected |
//                   Unauthorized, retryIn } or undefined before the first report
//   lastSyncSignal  date, invalid when absent
//   statusText, lastSyncText, conflictText                            string
//   updater         the updater: pendingVersion, shortVersion, longVersion, checkForUpdates()
class PanelModel : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(AppModel)
    QML_UNCREATABLE("The application makes its one model.")
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
    Q_PROPERTY(bool syncPaused READ syncPaused NOTIFY syncPausedChanged)
    Q_PROPERTY(QDateTime pausedUntil READ qmlPausedUntil NOTIFY pausedUntilChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
    Q_PROPERTY(QString lastSyncText READ qmlLastSyncText NOTIFY lastSyncTextChanged)
    Q_PROPERTY(QString conflictText READ qmlConflictText NOTIFY conflictTextChanged)
    Q_PROPERTY(QObject *updater READ updaterObject NOTIFY updaterChanged)

public:
    using QObject::QObject;

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
    const FileProviderPause &pause() const { return m_pause; }
    bool syncPaused() const { return m_pause.paused; }

    // --- Texts ---
    QString statusText() const;
    // « Actualisé à 14:07 » after a manual refresh.
    virtual std::optional<QString> lastSyncText() const;
    // The newest conflict, unless the user dismissed it.
    virtual std::optional<QString> conflictText() const = 0;

    // --- What the views call ---
    Q_INVOKABLE virtual void signIn(const QString &email, const QString &password) = 0;
    // With the challenge as read from status.
    Q_INVOKABLE virtual void submitCode(const OrvelanNimbal::ChallengeInfo &challenge,
                                        bool useRecovery, const QString &code,
                                        bool rememberDevice) = 0;
    // The two-factor view's back button: the challenge and its error are dropped.
    Q_INVOKABLE virtual void cancelTwoFactor() = 0;
    Q_INVOKABLE virtual void signOut() = 0;
    Q_INVOKABLE virtual void refreshNow() = 0;
    Q_INVOKABLE virtual void dismissConflicts() = 0;
    Q_INVOKABLE virtual void openInFinder() = 0;
    // The tray menu's pause (nothing sent or received until resumed) and resume.
    Q_INVOKABLE virtual void setSyncPaused(bool paused) = 0;
    Q_INVOKABLE virtual void setLaunchAtLogin(bool enabled) = 0;
    Q_INVOKABLE virtual void refreshLaunchAtLogin() = 0;
    // The desktop's settings of what starts with the session.
    Q_INVOKABLE virtual void openSettings() = 0;
    // The approval card's button: turns the extension's service and the account's folder back
    // on; the user's click is the consent.
    Q_INVOKABLE virtual void reactivate() = 0;

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
    void syncPausedChanged();
    void pausedUntilChanged();
    void statusTextChanged();
    void lastSyncTextChanged();
    void conflictTextChanged();
    void updaterChanged();

protected:
    // Setters: each notifies when the value changes, the texts that follow from it too.
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
    void setPause(FileProviderPause pause);

    virtual QObject *updaterObject() const = 0;
    // The time the texts are written against (the end of a pause is "14:05" today, a date
    // later on).
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }

    // Readers for QML, where absent is "" or undefined.
    QString qmlAccount() const { return m_account.value_or(QString()); }
    QString qmlTwoFactorError() const { return m_twoFactorError.value_or(QString()); }
    QVariant qmlQuota() const;
    QDateTime qmlLastSyncSignal() const { return m_lastSyncSignal.value_or(QDateTime()); }
    QVariant qmlSummary() const;
    QVariant qmlLiveStatus() const;
    QString qmlTransferLabel() const { return m_transferLabel.value_or(QString()); }
    QDateTime qmlPausedUntil() const { return m_pause.until.value_or(QDateTime()); }
    QString qmlLastSyncText() const { return lastSyncText().value_or(QString()); }
    QString qmlConflictText() const { return conflictText().value_or(QString()); }

    // The state, read freely by the models; written only through the setters above.
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
    FileProviderPause m_pause;

private:
    template <class T, class... Notifications>
    void update(T &field, T value, Notifications... notifications)
    {
        if (field == value)
            return;
        field = std::move(value);
        (emit(this->*notifications)(), ...);
    }
};

} // namespace OrvelanNimbal
