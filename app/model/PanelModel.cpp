// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's view of the model: its state, the setters that notify, and the texts that follow
// from the state alone.
#include "model/PanelModel.h"

#include "sync/PauseText.h"

#include <QLocale>

namespace OrvelanNimbal {

QString PanelModel::statusText() const
{
    switch (m_status.kind()) {
    case AppStatus::Kind::TwoFactor:
        return QStringLiteral("Code de vérification attendu");
    case AppStatus::Kind::Failed:
        return m_status.message();
    case AppStatus::Kind::SignedOut:
        return QStringLiteral("Non connecté");
    case AppStatus::Kind::Connecting:
        return QStringLiteral("Connexion…");
    case AppStatus::Kind::Ready:
        break;
    }
    if (m_extensionNeedsApproval)
        return QStringLiteral("En attente d'autorisation");
    if (m_pause.paused)
        return pauseText(m_pause.until, now());
    return QStringLiteral("Nimbal à jour");
}

std::optional<QString> PanelModel::lastSyncText() const
{
    if (!m_lastSyncSignal)
        return std::nullopt;
    return QStringLiteral("Actualisé à ")
           + QLocale().toString(m_lastSyncSignal->toLocalTime().time(), QLocale::ShortFormat);
}

void PanelModel::setStatus(AppStatus status)
{
    update(m_status, std::move(status), &PanelModel::statusChanged,
           &PanelModel::statusTextChanged);
}

void PanelModel::setAccount(std::optional<QString> account)
{
    update(m_account, std::move(account), &PanelModel::accountChanged);
}

void PanelModel::setLastEmail(const QString &email)
{
    update(m_lastEmail, email, &PanelModel::lastEmailChanged);
}

void PanelModel::setTwoFactorError(std::optional<QString> message)
{
    update(m_twoFactorError, std::move(message), &PanelModel::twoFactorErrorChanged);
}

void PanelModel::setIsVerifying(bool verifying)
{
    update(m_isVerifying, verifying, &PanelModel::isVerifyingChanged);
}

void PanelModel::setLaunchAtLoginFlags(bool enabled, bool needsApproval)
{
    update(m_launchAtLogin, enabled, &PanelModel::launchAtLoginChanged);
    update(m_launchAtLoginNeedsApproval, needsApproval,
           &PanelModel::launchAtLoginNeedsApprovalChanged);
}

void PanelModel::setExtensionNeedsApproval(bool needed)
{
    update(m_extensionNeedsApproval, needed, &PanelModel::extensionNeedsApprovalChanged,
           &PanelModel::statusTextChanged);
}

void PanelModel::setQuota(std::optional<DriveQuota> quota)
{
    update(m_quota, quota, &PanelModel::quotaChanged);
}

void PanelModel::setLastSyncSignal(QDateTime at)
{
    update(m_lastSyncSignal, std::optional(std::move(at)), &PanelModel::lastSyncSignalChanged,
           &PanelModel::lastSyncTextChanged);
}

void PanelModel::setIsSynchronizing(bool synchronizing)
{
    update(m_isSynchronizing, synchronizing, &PanelModel::isSynchronizingChanged);
}

void PanelModel::setSummary(std::optional<DomainSummary> summary)
{
    update(m_summary, std::move(summary), &PanelModel::summaryChanged,
           &PanelModel::conflictTextChanged);
}

void PanelModel::setLiveStatus(std::optional<DriveEventStream::Status> status)
{
    update(m_liveStatus, status, &PanelModel::liveStatusChanged);
}

void PanelModel::setTransferLabel(std::optional<QString> label)
{
    update(m_transferLabel, std::move(label), &PanelModel::transferLabelChanged);
}

void PanelModel::setPause(FileProviderPause pause)
{
    if (pause == m_pause)
        return;
    const bool pausedChanged = pause.paused != m_pause.paused;
    const bool untilChanged = pause.until != m_pause.until;
    m_pause = std::move(pause);
    if (pausedChanged)
        emit syncPausedChanged();
    if (untilChanged)
        emit pausedUntilChanged();
    emit statusTextChanged();
}

QVariant PanelModel::qmlQuota() const
{
    return m_quota ? QVariant::fromValue(QuotaInfo(*m_quota)) : QVariant();
}

QVariant PanelModel::qmlSummary() const
{
    return m_summary ? QVariant::fromValue(SummaryInfo(*m_summary)) : QVariant();
}

QVariant PanelModel::qmlLiveStatus() const
{
    return m_liveStatus ? QVariant::fromValue(LiveStatusInfo(*m_liveStatus)) : QVariant();
}

} // namespace OrvelanNimbal
