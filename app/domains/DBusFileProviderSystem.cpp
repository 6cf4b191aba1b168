// SPDX-License-Identifier: GPL-3.0-or-later
#include "domains/DBusFileProviderSystem.h"

#include "async/Wakeup.h"
#include "bus/FileProviderBus.h"
#include "config/OrvelanNimbal.h"
#include "domains/FileProviderFailure.h"
#include "fileprovider1proxy.h"
#include "system/Logging.h"

#include <QCoro/QCoroDBusPendingReply>
#include <QTimer>

#include <limits>

namespace OrvelanNimbal {

namespace {

using namespace std::chrono_literals;

const QString uploadKind = QStringLiteral("upload");
const QString downloadKind = QStringLiteral("download");
// An extension that leaves again this soon after a restart waits this long for the next one,
// so that one that cannot start is not started in a loop.
constexpr auto restartPause = 10s;

QString kindName(FileProviderTransferKind kind)
{
    return kind == FileProviderTransferKind::upload ? uploadKind : downloadKind;
}

// A pause as the interface gives it: its end in seconds since 1970, 0 for none.
FileProviderPause pauseOf(bool paused, qint64 until)
{
    return {paused, paused && until > 0 ? std::optional(QDateTime::fromSecsSinceEpoch(until))
                                        : std::nullopt};
}

// Fires `answered` once the call is answered; the caller may have stopped waiting by then.
template <class... Values>
QCoro::Task<> fireWhenAnswered(QDBusPendingReply<Values...> call, std::shared_ptr<Wakeup> answered)
{
    co_await call;
    answered->fire();
}

// The extension's answer to one call, awaited on this thread until `cancel` fires. A call given
// up on still reaches the extension; its answer then goes nowhere.
template <class... Values>
QCoro::Task<QDBusPendingReply<Values...>> answerOf(QDBusPendingReply<Values...> call,
                                                   CancellationToken cancel)
{
    if (!call.isFinished()) {
        const auto answered = std::make_shared<Wakeup>();
        fireWhenAnswered(call, answered);
        const auto onCancel = cancel.onCancel([answered] { answered->fire(); });
        co_await answered->wait();
    }
    cancel.throwIfCancelled();
    if (call.isError())
        throw FileProviderFailure({call.error().name(), call.error().message()});
    co_return call;
}

// For calls that take as long as the work they wait for: removing a folder's copies, or
// stabilisation, which the caller bounds itself.
template <class Call>
auto withoutDeadline(FileProvider1Proxy &proxy, Call call)
{
    const int timeout = proxy.timeout();
    proxy.setTimeout(std::numeric_limits<int>::max());
    auto pending = call();
    proxy.setTimeout(timeout);
    return pending;
}

} // namespace

DBusFileProviderSystem::DBusFileProviderSystem(QDBusConnection bus, QObject *parent)
    : FileProviderSystem(parent)
    , m_watcher(fileProviderBundleIdentifier, bus, QDBusServiceWatcher::WatchForUnregistration)
{
    FileProviderBus::registerTypes();
    m_proxy = std::make_unique<FileProvider1Proxy>(fileProviderBundleIdentifier,
                                                   FileProviderBus::objectPath, bus);
    connect(m_proxy.get(), &FileProvider1Proxy::ProgressChanged, this,
            &DBusFileProviderSystem::keepProgress);
    connect(m_proxy.get(), &FileProvider1Proxy::ActivityChanged, this,
            &DBusFileProviderSystem::keepActivity);
    connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &DBusFileProviderSystem::extensionLeft);
}

DBusFileProviderSystem::~DBusFileProviderSystem()
{
    m_lifetime.cancel();
}

QCoro::Task<QList<FileProviderDomain>> DBusFileProviderSystem::domains(CancellationToken cancel)
{
    const auto reply = co_await answerOf(m_proxy->Domains(), cancel);
    co_return reply.value();
}

QCoro::Task<> DBusFileProviderSystem::addDomain(FileProviderDomain domain,
                                                CancellationToken cancel)
{
    co_await answerOf(m_proxy->AddDomain(domain.identifier, domain.displayName), cancel);
}

QCoro::Task<> DBusFileProviderSystem::removeDomain(QString identifier, CancellationToken cancel)
{
    co_await answerOf(withoutDeadline(*m_proxy, [&] { return m_proxy->RemoveDomain(identifier); }),
                      cancel);
    m_progress.remove(identifier);
    m_pauses.remove(identifier);
}

QCoro::Task<> DBusFileProviderSystem::setUserEnabled(QString identifier, bool enabled,
                                                     CancellationToken cancel)
{
    co_await answerOf(m_proxy->SetUserEnabled(identifier, enabled), cancel);
}

QCoro::Task<> DBusFileProviderSystem::signalWorkingSet(QString identifier,
                                                       CancellationToken cancel)
{
    co_await answerOf(m_proxy->SignalWorkingSet(identifier), cancel);
}

QCoro::Task<> DBusFileProviderSystem::waitForStabilization(QString identifier,
                                                           CancellationToken cancel)
{
    co_await answerOf(
        withoutDeadline(*m_proxy, [&] { return m_proxy->WaitForStabilization(identifier); }),
        cancel);
}

QCoro::Task<QString> DBusFileProviderSystem::userVisibleFolder(QString identifier,
                                                               CancellationToken cancel)
{
    const auto reply = co_await answerOf(m_proxy->UserVisibleFolder(identifier), cancel);
    co_return reply.value();
}

QCoro::Task<FileProviderProgress>
DBusFileProviderSystem::progress(QString identifier, FileProviderTransferKind kind,
                                 CancellationToken cancel)
{
    const QString name = kindName(kind);
    if (const auto known = m_progress.constFind(identifier);
        known != m_progress.cend() && known->contains(name))
        co_return known->value(name);
    const auto reply = co_await answerOf(m_proxy->Progress(identifier, name), cancel);
    // A notice that came while the call was out is newer than its answer.
    QHash<QString, FileProviderProgress> &kinds = m_progress[identifier];
    if (!kinds.contains(name))
        kinds.insert(name, {reply.argumentAt<0>(), reply.argumentAt<1>(), reply.argumentAt<2>(),
                            reply.argumentAt<3>()});
    co_return kinds.value(name);
}

void DBusFileProviderSystem::keepProgress(const QString &identifier, const QString &kind,
                                          bool finished, qlonglong total, qlonglong completed,
                                          double fraction)
{
    if (kind == uploadKind || kind == downloadKind)
        m_progress[identifier].insert(kind, {finished, total, completed, fraction});
}

QCoro::Task<> DBusFileProviderSystem::setPaused(QString identifier, bool paused,
                                                CancellationToken cancel)
{
    // The extension announces the new pause before it answers: the notice is here first. (The
    // call is made apart from the co_await: GCC 12 runs both arms of a conditional there.)
    QDBusPendingReply<> call;
    if (paused)
        call = m_proxy->Pause(identifier, 0);
    else
        call = m_proxy->Resume(identifier);
    co_await answerOf(call, cancel);
}

QCoro::Task<FileProviderPause> DBusFileProviderSystem::pause(QString identifier,
                                                             CancellationToken cancel)
{
    if (const auto known = m_pauses.constFind(identifier); known != m_pauses.cend())
        co_return *known;
    // Newer than any notice heard before it: the bus keeps one sender's messages in order.
    const FileProviderPause pause = co_await askPause(identifier, cancel);
    m_pauses.insert(identifier, pause);
    co_return pause;
}

QCoro::Task<FileProviderPause> DBusFileProviderSystem::askPause(QString identifier,
                                                                CancellationToken cancel)
{
    const auto reply = co_await answerOf(m_proxy->PauseState(identifier), cancel);
    co_return pauseOf(reply.argumentAt<0>(), reply.argumentAt<1>());
}

void DBusFileProviderSystem::keepActivity(const QString &identifier, const QVariantMap &activity)
{
    keepPause(identifier, pauseOf(activity.value(QStringLiteral("paused")).toBool(),
                                  activity.value(QStringLiteral("pausedUntil")).toLongLong()));
}

void DBusFileProviderSystem::keepPause(const QString &identifier, const FileProviderPause &pause)
{
    if (const auto known = m_pauses.constFind(identifier);
        known != m_pauses.cend() && *known == pause)
        return;
    m_pauses.insert(identifier, pause);
    emit pauseChanged(identifier, pause);
}

void DBusFileProviderSystem::extensionLeft()
{
    // What it said of its transfers went with it.
    m_progress.clear();
    if (m_restartPending)
        return;
    m_restartPending = true;
    const bool soonAgain = m_lastRestart.isValid()
                           && m_lastRestart.elapsed() < std::chrono::milliseconds(restartPause).count();
    QTimer::singleShot(soonAgain ? restartPause : 0s, this, [this] { restart(); });
}

QCoro::Task<> DBusFileProviderSystem::restart()
{
    m_restartPending = false;
    m_lastRestart.start();
    const CancellationToken cancel = m_lifetime.token();
    qCInfo(lcDomain, "Extension sortie du bus : relance et relecture des domaines.");
    try {
        // The first call starts it again (bus activation); it then reads each domain afresh.
        const QList<FileProviderDomain> registered = co_await domains(cancel);
        for (const FileProviderDomain &domain : registered) {
            try {
                co_await signalWorkingSet(domain.identifier, cancel);
            } catch (const FileProviderFailure &error) {
                // A domain the user switched off says so; the others are still read.
                qCInfo(lcDomain, "Signal impossible : %s",
                       qUtf8Printable(error.errorDescription()));
            }
            // A pause may have ended while it was away.
            if (m_pauses.contains(domain.identifier)) {
                try {
                    keepPause(domain.identifier, co_await askPause(domain.identifier, cancel));
                } catch (const FileProviderFailure &) {
                    m_pauses.remove(domain.identifier); // asked afresh by its next reader
                }
            }
        }
        emit restarted();
    } catch (const OperationCancelled &) {
        // The application is leaving.
    } catch (const FileProviderFailure &error) {
        qCWarning(lcDomain, "Relance de l'extension impossible : %s",
                  qUtf8Printable(error.errorDescription()));
    }
}

} // namespace OrvelanNimbal
