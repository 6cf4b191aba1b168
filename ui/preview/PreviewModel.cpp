// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreviewModel.h"

#include <QVariantMap>

namespace OrvelanNimbal::Panel {

namespace {

std::optional<QString> unlessEmpty(const QString &text)
{
    return text.isEmpty() ? std::nullopt : std::optional(text);
}

// Absent when QML gave undefined or null.
bool given(const QVariant &value)
{
    return value.isValid() && !value.isNull();
}

} // namespace

void PreviewModel::setStatus(AppStatus::Kind kind, const QString &message,
                             const QVariant &challenge)
{
    switch (kind) {
    case AppStatus::Kind::SignedOut:
        PanelModel::setStatus(AppStatus::signedOut());
        return;
    case AppStatus::Kind::Connecting:
        PanelModel::setStatus(AppStatus::connecting());
        return;
    case AppStatus::Kind::Ready:
        PanelModel::setStatus(AppStatus::ready());
        return;
    case AppStatus::Kind::Failed:
        PanelModel::setStatus(AppStatus::failed(message));
        return;
    case AppStatus::Kind::TwoFactor:
        break;
    }
    TwoFactorChallenge pending;
    if (challenge.canConvert<ChallengeInfo>()) {
        pending = challenge.value<ChallengeInfo>().challenge();
    } else {
        const QVariantMap fields = challenge.toMap();
        pending.account = fields.value(QStringLiteral("account")).toString();
        pending.methods = fields.value(QStringLiteral("methods")).toStringList();
        pending.expiresAt = fields.value(QStringLiteral("expiresAt")).toDateTime();
    }
    PanelModel::setStatus(AppStatus::twoFactor(std::move(pending)));
}

QVariantList PreviewModel::callsOf(const QString &name) const
{
    QVariantList found;
    for (const QVariant &call : m_calls) {
        if (call.toMap().value(QStringLiteral("name")) == name)
            found.append(call);
    }
    return found;
}

std::optional<QString> PreviewModel::lastSyncText() const
{
    return unlessEmpty(m_lastSyncText);
}

std::optional<QString> PreviewModel::conflictText() const
{
    return unlessEmpty(m_conflictText);
}

void PreviewModel::record(const QString &name, QVariantList arguments)
{
    m_calls.append(QVariantMap{{QStringLiteral("name"), name},
                               {QStringLiteral("args"), std::move(arguments)}});
    emit callsChanged();
}

void PreviewModel::signIn(const QString &email, const QString &password)
{
    record(QStringLiteral("signIn"), {email, password});
}

void PreviewModel::submitCode(const ChallengeInfo &challenge, bool useRecovery,
                              const QString &code, bool rememberDevice)
{
    record(QStringLiteral("submitCode"),
           {QVariant::fromValue(challenge), useRecovery, code, rememberDevice});
    setIsVerifying(true);
}

void PreviewModel::cancelTwoFactor()
{
    record(QStringLiteral("cancelTwoFactor"));
    setTwoFactorError(std::nullopt);
    PanelModel::setStatus(AppStatus::signedOut());
}

void PreviewModel::signOut()
{
    record(QStringLiteral("signOut"));
}

void PreviewModel::refreshNow()
{
    record(QStringLiteral("refreshNow"));
}

void PreviewModel::dismissConflicts()
{
    record(QStringLiteral("dismissConflicts"));
}

void PreviewModel::openInFinder()
{
    record(QStringLiteral("openInFinder"));
}

void PreviewModel::setLaunchAtLogin(bool enabled)
{
    record(QStringLiteral("setLaunchAtLogin"), {enabled});
}

void PreviewModel::refreshLaunchAtLogin()
{
    record(QStringLiteral("refreshLaunchAtLogin"));
}

void PreviewModel::openSettings()
{
    record(QStringLiteral("openSettings"));
}

void PreviewModel::reactivate()
{
    record(QStringLiteral("reactivate"));
}

void PreviewModel::setSyncPaused(bool paused)
{
    record(QStringLiteral("setSyncPaused"), {paused});
}

void PreviewModel::setQmlAccount(const QString &account)
{
    setAccount(unlessEmpty(account));
}

void PreviewModel::setQmlTwoFactorError(const QString &message)
{
    setTwoFactorError(unlessEmpty(message));
}

void PreviewModel::setQmlLaunchAtLogin(bool enabled)
{
    setLaunchAtLoginFlags(enabled, launchAtLoginNeedsApproval());
}

void PreviewModel::setQmlLaunchAtLoginNeedsApproval(bool needed)
{
    setLaunchAtLoginFlags(launchAtLogin(), needed);
}

void PreviewModel::setQmlQuota(const QVariant &quota)
{
    if (!given(quota)) {
        setQuota(std::nullopt);
        return;
    }
    const QVariantMap fields = quota.toMap();
    setQuota(DriveQuota{fields.value(QStringLiteral("usedMegabytes")).toDouble(),
                        fields.value(QStringLiteral("maxMegabytes")).toDouble()});
}

void PreviewModel::setQmlSummary(const QVariant &summary)
{
    if (!given(summary)) {
        setSummary(std::nullopt);
        return;
    }
    DomainSummary archived;
    const qint64 count = summary.toMap().value(QStringLiteral("archivedFileCount")).toLongLong();
    for (qint64 id = 1; id <= count; ++id)
        archived.archivedFileIDs.insert(id);
    setSummary(std::move(archived));
}

void PreviewModel::setQmlLiveStatus(const QVariant &status)
{
    if (!given(status)) {
        setLiveStatus(std::nullopt);
        return;
    }
    const QVariantMap fields = status.toMap();
    switch (LiveStatusInfo::Kind(fields.value(QStringLiteral("kind")).toInt())) {
    case LiveStatusInfo::Kind::Connected:
        setLiveStatus(DriveEventStream::Status::connected());
        return;
    case LiveStatusInfo::Kind::Unauthorized:
        setLiveStatus(DriveEventStream::Status::unauthorized());
        return;
    case LiveStatusInfo::Kind::Disconnected:
        break;
    }
    setLiveStatus(
        DriveEventStream::Status::disconnected(fields.value(QStringLiteral("retryIn")).toLongLong()));
}

void PreviewModel::setQmlTransferLabel(const QString &label)
{
    setTransferLabel(unlessEmpty(label));
}

void PreviewModel::setQmlSyncPaused(bool paused)
{
    setPause({paused, pause().until});
}

void PreviewModel::setQmlPausedUntil(const QDateTime &until)
{
    setPause({syncPaused(), until.isValid() ? std::optional(until) : std::nullopt});
}

void PreviewModel::setLastSyncText(const QString &text)
{
    if (text == m_lastSyncText)
        return;
    m_lastSyncText = text;
    emit lastSyncTextChanged();
}

void PreviewModel::setConflictText(const QString &text)
{
    if (text == m_conflictText)
        return;
    m_conflictText = text;
    emit conflictTextChanged();
}

void PreviewModel::setUpdater(QObject *updater)
{
    if (updater == m_updater)
        return;
    m_updater = updater;
    emit updaterChanged();
}

} // namespace OrvelanNimbal::Panel
