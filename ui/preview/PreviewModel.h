// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/PanelModel.h"

#include <QPointer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace OrvelanNimbal::Panel {

// The application model as the views see it, for drawing them in chosen states (the
// screenshots) and for testing what they decide: every value can be set from QML, and the
// operations only record their calls (`calls`, `callsOf(name)`). submitCode marks itself
// verifying at once and cancelTwoFactor goes back to signed out, as the model does.
//
// Records are set as QML writes them: quota { usedMegabytes, maxMegabytes }, summary
// { archivedFileCount }, liveStatus { kind: LiveStatus.…, retryIn }, undefined for none; the
// pause's end as a date, invalid for none.
class PreviewModel : public PanelModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString account READ qmlAccount WRITE setQmlAccount NOTIFY accountChanged)
    Q_PROPERTY(QString lastEmail READ lastEmail WRITE setLastEmail NOTIFY lastEmailChanged)
    Q_PROPERTY(QString twoFactorError READ qmlTwoFactorError WRITE setQmlTwoFactorError NOTIFY
                   twoFactorErrorChanged)
    Q_PROPERTY(bool isVerifying READ isVerifying WRITE setIsVerifying NOTIFY isVerifyingChanged)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setQmlLaunchAtLogin NOTIFY
                   launchAtLoginChanged)
    Q_PROPERTY(bool launchAtLoginNeedsApproval READ launchAtLoginNeedsApproval WRITE
                   setQmlLaunchAtLoginNeedsApproval NOTIFY launchAtLoginNeedsApprovalChanged)
    Q_PROPERTY(bool extensionNeedsApproval READ extensionNeedsApproval WRITE
                   setExtensionNeedsApproval NOTIFY extensionNeedsApprovalChanged)
    Q_PROPERTY(QVariant quota READ qmlQuota WRITE setQmlQuota NOTIFY quotaChanged)
    Q_PROPERTY(bool isSynchronizing READ isSynchronizing WRITE setIsSynchronizing NOTIFY
                   isSynchronizingChanged)
    Q_PROPERTY(QVariant summary READ qmlSummary WRITE setQmlSummary NOTIFY summaryChanged)
    Q_PROPERTY(QVariant liveStatus READ qmlLiveStatus WRITE setQmlLiveStatus NOTIFY
                   liveStatusChanged)
    Q_PROPERTY(QString transferLabel READ qmlTransferLabel WRITE setQmlTransferLabel NOTIFY
                   transferLabelChanged)
    Q_PROPERTY(bool syncPaused READ syncPaused WRITE setQmlSyncPaused NOTIFY syncPausedChanged)
    Q_PROPERTY(QDateTime pausedUntil READ qmlPausedUntil WRITE setQmlPausedUntil NOTIFY
                   pausedUntilChanged)
    Q_PROPERTY(QString lastSyncText READ qmlLastSyncText WRITE setLastSyncText NOTIFY
                   lastSyncTextChanged)
    Q_PROPERTY(QString conflictText READ qmlConflictText WRITE setConflictText NOTIFY
                   conflictTextChanged)
    Q_PROPERTY(QObject *updater READ updaterObject WRITE setUpdater NOTIFY updaterChanged)
    Q_PROPERTY(QVariantList calls READ calls NOTIFY callsChanged)

public:
    using PanelModel::PanelModel;

    // `challenge`: { account, methods, expiresAt } for TwoFactor, or a challenge read from
    // status.
    Q_INVOKABLE void setStatus(OrvelanNimbal::AppStatus::Kind kind, const QString &message = {},
                               const QVariant &challenge = {});
    const QVariantList &calls() const { return m_calls; }
    Q_INVOKABLE QVariantList callsOf(const QString &name) const;

    std::optional<QString> lastSyncText() const override;
    std::optional<QString> conflictText() const override;

    void signIn(const QString &email, const QString &password) override;
    void submitCode(const ChallengeInfo &challenge, bool useRecovery, const QString &code,
                    bool rememberDevice) override;
    void cancelTwoFactor() override;
    void signOut() override;
    void refreshNow() override;
    void dismissConflicts() override;
    void openInFinder() override;
    void setLaunchAtLogin(bool enabled) override;
    void refreshLaunchAtLogin() override;
    void openSettings() override;
    void reactivate() override;
    void setSyncPaused(bool paused) override;

signals:
    void callsChanged();

protected:
    QObject *updaterObject() const override { return m_updater; }

private:
    void record(const QString &name, QVariantList arguments = {});
    void setQmlAccount(const QString &account);
    void setQmlTwoFactorError(const QString &message);
    void setQmlLaunchAtLogin(bool enabled);
    void setQmlLaunchAtLoginNeedsApproval(bool needed);
    void setQmlQuota(const QVariant &quota);
    void setQmlSummary(const QVariant &summary);
    void setQmlLiveStatus(const QVariant &status);
    void setQmlTransferLabel(const QString &label);
    void setQmlSyncPaused(bool paused);
    void setQmlPausedUntil(const QDateTime &until);
    void setLastSyncText(const QString &text);
    void setConflictText(const QString &text);
    void setUpdater(QObject *updater);

    QVariantList m_calls;
    QString m_lastSyncText;
    QString m_conflictText;
    QPointer<QObject> m_updater;
};

} // namespace OrvelanNimbal::Panel
