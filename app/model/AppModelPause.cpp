// SPDX-License-Identifier: GPL-3.0-or-later
// The synchronisation's pause: the model shows the system's, wherever it was set (the tray menu,
// a terminal, or its end that came), and the tray menu pauses and resumes.
#include "model/AppModel.h"
#include "system/Logging.h"

namespace OrvelanNimbal {

void AppModel::followPause(const QString &account, CancellationToken cancel)
{
    // Heard before the first answer, so that no change falls between the two.
    m_pauseObserver =
        connect(m_environment.fileProvider.get(), &FileProviderSystem::pauseChanged, this,
                [this, account](const QString &identifier, const FileProviderPause &pause) {
                    if (identifier == account)
                        setPause(pause);
                });
    readPause(account, std::move(cancel));
}

void AppModel::stopFollowingPause()
{
    if (m_pauseObserver) {
        disconnect(m_pauseObserver);
        m_pauseObserver = {};
    }
    setPause({});
}

QCoro::Task<> AppModel::readPause(QString account, CancellationToken cancel)
{
    try {
        setPause(co_await m_domains.pause(std::move(account), cancel));
    } catch (const OperationCancelled &) {
        // Signed out meanwhile, or the model is gone.
    }
}

QDateTime AppModel::now() const
{
    return m_environment.client->clock()->currentDateTime();
}

void AppModel::setSyncPaused(bool paused)
{
    start(changingPause(paused));
}

QCoro::Task<> AppModel::changingPause(bool paused)
{
    const std::optional<QString> account = m_account;
    if (!account)
        co_return;
    // The system tells of the new pause itself, as it does of one set elsewhere.
    try {
        co_await m_domains.setPaused(*account, paused, m_lifetime.token());
    } catch (const OperationCancelled &) {
        throw;
    } catch (const std::exception &error) {
        qCWarning(lcApp, "%s impossible : %s", paused ? "Pause" : "Reprise", error.what());
    }
}

} // namespace OrvelanNimbal
