// SPDX-License-Identifier: GPL-3.0-or-later
// The model while signed in: the live link to the service and the signals it sets off, the
// stream's statuses, and the periodic work.
#include "model/AppModel.h"
#include "model/Guarded.h"
#include "system/Logging.h"

namespace OrvelanNimbal {

namespace {

using namespace std::chrono_literals;

constexpr auto signalDebounce = 500ms;
constexpr auto safetySignalPeriod = 300s;
constexpr auto activityTickPeriod = 2s;
constexpr int summaryReloadTicks = 5;
constexpr qint64 eventPingSeconds = 30;
// A loop of the live task that ended while it should run starts again after this pause.
constexpr auto loopRestartPause = 5s;

QByteArray liveStatusText(const DriveEventStream::Status &status)
{
    switch (status.kind()) {
    case DriveEventStream::Status::Kind::connected:
        return "connected";
    case DriveEventStream::Status::Kind::unauthorized:
        return "unauthorized";
    case DriveEventStream::Status::Kind::disconnected:
        break;
    }
    return "disconnected(retryIn: " + QByteArray::number(status.retryIn()) + ')';
}

} // namespace

// --- The live task ---

void AppModel::startLive(const QString &account)
{
    stopLive();
    m_liveTask.emplace(m_lifetime.token());
    const CancellationToken cancel = m_liveTask->token();
    keepRunning("temps réel", [this, cancel] { return runLiveEvents(cancel); }, cancel);
    keepRunning("signal de sécurité", [this, cancel] { return runSafetySignals(cancel); }, cancel);
    keepRunning(
        "activité", [this, account, cancel] { return runActivity(account, cancel); }, cancel);
    followPause(account, cancel);
    scheduleSignal();
    m_wakeObserver = connect(m_environment.wakeNotifier.get(), &WakeNotifier::woke, this,
                             &AppModel::scheduleSignal, Qt::QueuedConnection);
}

void AppModel::stopLive()
{
    if (m_liveTask) {
        m_liveTask->cancel();
        m_liveTask.reset();
    }
    if (m_signalTask) {
        m_signalTask->cancel();
        m_signalTask.reset();
    }
    if (m_wakeObserver) {
        disconnect(m_wakeObserver);
        m_wakeObserver = {};
    }
    stopFollowingPause();
    setLiveStatus(std::nullopt);
    setTransferLabel(std::nullopt);
}

QCoro::Task<> AppModel::keepRunning(const char *name, std::function<QCoro::Task<>()> loop,
                                    CancellationToken cancel)
{
    // Held here: a pause cut short by the model's end still finishes inside its clock.
    const std::shared_ptr<Clock> clock = m_environment.client->clock();
    for (;;) {
        try {
            co_await loop();
            cancel.throwIfCancelled();
            // The stream stops by itself after the service refused the session: signing in
            // again starts it anew.
            if (m_liveStatus
                && m_liveStatus->kind() == DriveEventStream::Status::Kind::unauthorized) {
                qCInfo(lcApp, "Tâche « %s » terminée : session refusée.", name);
                co_return;
            }
            qCWarning(lcApp, "Tâche « %s » terminée d'elle-même : elle repart.", name);
        } catch (const OperationCancelled &) {
            co_return; // stopped with the live task, or the model is gone
        } catch (const std::exception &error) {
            qCCritical(lcApp, "Tâche « %s » interrompue : %s ; elle repart.", name, error.what());
        }
        try {
            co_await clock->sleep(loopRestartPause, cancel);
        } catch (const OperationCancelled &) {
            co_return;
        }
    }
}

QCoro::Task<> AppModel::runLiveEvents(CancellationToken cancel)
{
    // The stream calls back on this thread; a callback racing the stop finds the token fired.
    const QPointer<AppModel> self(this);
    const DriveEventStream::ChangeHandler onChange = [self, cancel]() -> QCoro::Task<> {
        if (self && !cancel.isCancelled())
            self->scheduleSignal();
        co_return;
    };
    const DriveEventStream::StatusHandler onStatus =
        [self, cancel](DriveEventStream::Status status) -> QCoro::Task<> {
        if (self && !cancel.isCancelled())
            self->applyLiveStatus(status);
        co_return;
    };
    LiveEvents events = m_environment.liveEvents;
    if (!events) {
        const DriveEventStream stream(m_environment.client, m_environment.eventsBaseURL,
                                      eventPingSeconds);
        events = [stream](auto onChange, auto onStatus, CancellationToken cancel) {
            return stream.run(std::move(onChange), std::move(onStatus), std::move(cancel));
        };
    }
    // Ends when cancelled, or after reporting unauthorized; the other children go on.
    co_await events(onChange, onStatus, cancel);
}

QCoro::Task<> AppModel::runSafetySignals(CancellationToken cancel)
{
    const std::shared_ptr<Clock> clock = m_environment.client->clock();
    while (!cancel.isCancelled()) {
        try {
            co_await clock->sleep(safetySignalPeriod, cancel);
        } catch (const OperationCancelled &) {
            co_return;
        }
        scheduleSignal();
    }
}

QCoro::Task<> AppModel::runActivity(QString account, CancellationToken cancel)
{
    const std::shared_ptr<Clock> clock = m_environment.client->clock();
    try {
        for (;;) {
            co_await updateTransferLabel(account, cancel);
            co_await checkApprovals(account, cancel);
            co_await clock->sleep(activityTickPeriod, cancel);
        }
    } catch (const OperationCancelled &) {
        // Stopped: the live task ended.
    }
}

// --- Signals ---

void AppModel::scheduleSignal()
{
    if (!m_account)
        return;
    if (m_signalTask) {
        m_signalPending = true;
        return;
    }
    m_signalTask.emplace(m_lifetime.token());
    runSignal(*m_account, m_signalTask->token());
}

QCoro::Task<> AppModel::runSignal(QString account, CancellationToken cancel)
{
    // Held here: a sleep cut short by the model's end still finishes inside its clock.
    const std::shared_ptr<Clock> clock = m_environment.client->clock();
    // One signal, then the one queued meanwhile, if any, after its own debounce.
    do {
        try {
            co_await clock->sleep(signalDebounce, cancel);
            qCDebug(lcApp, "Signal envoyé au système.");
            co_await m_domains.signal(account, false, stabilizationTimeout, cancel);
        } catch (const OperationCancelled &) {
            co_return; // stopped, or the model is gone: the next signal is someone else's
        } catch (const std::exception &error) {
            // Ends like any other signal: one left in flight would hold every later one back.
            qCCritical(lcApp, "Signal interrompu : %s", error.what());
        }
    } while (std::exchange(m_signalPending, false));
    m_signalTask.reset();
}

void AppModel::applyLiveStatus(DriveEventStream::Status status)
{
    if (!m_liveStatus || *m_liveStatus != status)
        qCInfo(lcApp, "Temps réel : %s", liveStatusText(status).constData());
    // Back after a drop: what changed meanwhile was never announced, so the drive is read now
    // rather than at the next safety signal. The first connection has had its signal already.
    const bool back = status.kind() == DriveEventStream::Status::Kind::connected && m_liveStatus
                      && m_liveStatus->kind() != DriveEventStream::Status::Kind::connected;
    setLiveStatus(status);
    if (back)
        scheduleSignal();
    if (status.kind() == DriveEventStream::Status::Kind::unauthorized)
        setStatus(AppStatus::failed(QStringLiteral("Session expirée : reconnectez-vous.")));
}

// --- Periodic work ---

QCoro::Task<> AppModel::updateTransferLabel(QString account, CancellationToken cancel)
{
    const std::optional<QString> label = co_await m_domains.transferLabel(account, cancel);
    if (label != m_transferLabel)
        qCDebug(lcApp, "Indicateur de transfert : %s",
                qUtf8Printable(label.value_or(QStringLiteral("au repos"))));
    setTransferLabel(label);
    if (++m_activityTicks % summaryReloadTicks == 0)
        setSummary(co_await loadSummary(account, cancel));
}

} // namespace OrvelanNimbal
