// SPDX-License-Identifier: GPL-3.0-or-later
// The drive as the signed-in model shows it: quota and summary, the user's refresh, the
// conflict banner and the drive's folder.
#include "async/OffMainThread.h"
#include "config/OrvelanNimbal.h"
#include "config/PlatformWords.h"
#include "model/AppModel.h"
#include "model/Guarded.h"

#include <QDir>

namespace OrvelanNimbal {

QCoro::Task<std::optional<DomainSummary>> AppModel::loadSummary(QString account,
                                                                CancellationToken cancel)
{
    auto read = [account] { return DomainSummary::load(summaryURL(account)); };
    co_return co_await unlessCancelled(runOffMainThread(std::move(read)), cancel);
}

QCoro::Task<> AppModel::refreshQuota(CancellationToken cancel)
{
    try {
        setQuota(co_await unlessCancelled(m_api.quota(cancel), cancel));
    } catch (const OperationCancelled &) {
        throw;
    } catch (const std::exception &) {
        setQuota(std::nullopt); // the bar disappears; the next refresh tries again
    }
    if (const std::optional<QString> account = m_account)
        setSummary(co_await loadSummary(*account, cancel));
}

// --- The user's refresh ---

void AppModel::refreshNow()
{
    start(refreshing());
}

QCoro::Task<> AppModel::refreshing()
{
    if (!m_account || m_isSynchronizing)
        co_return;
    const CancellationToken cancel = m_lifetime.token();
    setIsSynchronizing(true);
    co_await m_domains.signal(*m_account, true, stabilizationTimeout, cancel);
    co_await refreshQuota(cancel);
    setLastSyncSignal(m_environment.client->clock()->currentDateTime());
    setIsSynchronizing(false);
}

// --- Conflicts ---

std::optional<QString> AppModel::conflictText() const
{
    if (!m_summary || m_summary->conflicts.isEmpty())
        return std::nullopt;
    const double newest = double(m_summary->conflicts.first().date.toMSecsSinceEpoch()) / 1000.0;
    if (m_environment.preferences->conflictDismissedUntil() >= newest)
        return std::nullopt;
    return m_summary->lastConflictLabel();
}

void AppModel::dismissConflicts()
{
    if (!m_summary || m_summary->conflicts.isEmpty())
        return;
    const QDateTime newest = m_summary->conflicts.first().date;
    m_environment.preferences->setConflictDismissedUntil(double(newest.toMSecsSinceEpoch())
                                                         / 1000.0);
    emit conflictTextChanged();
}

// --- The drive's folder ---

void AppModel::openInFinder()
{
    start(openingFolder());
}

QCoro::Task<> AppModel::openingFolder()
{
    std::optional<QUrl> folder;
    if (const std::optional<QString> account = m_account)
        folder = co_await m_domains.userVisibleURL(*account, m_lifetime.token());
    if (!folder)
        folder = QUrl::fromLocalFile(QDir::home().filePath(PlatformWords::accountsFolder));
    m_environment.desktop->openUrl(*folder);
}

} // namespace OrvelanNimbal
