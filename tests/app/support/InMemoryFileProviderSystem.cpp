// SPDX-License-Identifier: GPL-3.0-or-later
#include "InMemoryFileProviderSystem.h"

#include "async/Wakeup.h"
#include "domains/FileProviderFailure.h"

namespace OrvelanNimbal::Testing {

namespace {

FileProviderError unknownDomain()
{
    return {QStringLiteral("test.NoSuchDomain"), QStringLiteral("Domaine inconnu.")};
}

// Resumes from the event loop once `wakeup` fires, or at once when `cancel` does.
QCoro::Task<> waitFor(std::shared_ptr<Wakeup> wakeup, CancellationToken cancel)
{
    const auto onCancel = cancel.onCancel([wakeup] { wakeup->fire(); });
    co_await wakeup->wait();
    cancel.throwIfCancelled();
}

} // namespace

InMemoryFileProviderSystem::InMemoryFileProviderSystem(QList<FileProviderDomain> registered)
    : m_registered(std::move(registered))
{}

InMemoryFileProviderSystem::~InMemoryFileProviderSystem() = default;

void InMemoryFileProviderSystem::fail(const QString &call, const QString &message)
{
    m_failures.insert(call, message);
}

std::optional<FileProviderError> InMemoryFileProviderSystem::call(const QString &verb,
                                                                  const QString &identifier)
{
    const QString call = identifier.isEmpty() ? verb : verb + u' ' + identifier;
    m_calls.append(call);
    for (const QString &key : {call, verb, QStringLiteral("*")}) {
        if (m_failures.contains(key))
            return FileProviderError{QStringLiteral("test.Failed"), m_failures.value(key)};
    }
    return std::nullopt;
}

QCoro::Task<> InMemoryFileProviderSystem::answer(std::optional<FileProviderError> error,
                                                 CancellationToken cancel)
{
    const auto nextTurn = std::make_shared<Wakeup>();
    nextTurn->fire();
    co_await waitFor(nextTurn, cancel);
    if (error)
        throw FileProviderFailure(*error);
}

qsizetype InMemoryFileProviderSystem::indexOf(const QString &identifier) const
{
    const auto found =
        std::find_if(m_registered.begin(), m_registered.end(),
                     [&](const auto &domain) { return domain.identifier == identifier; });
    return found == m_registered.end() ? -1 : found - m_registered.begin();
}

void InMemoryFileProviderSystem::completeStabilizations()
{
    for (const std::shared_ptr<Wakeup> &held : std::exchange(m_held, {}))
        held->fire();
}

void InMemoryFileProviderSystem::switchDomain(const QString &identifier, bool enabled)
{
    if (const qsizetype index = indexOf(identifier); index >= 0)
        m_registered[index].userEnabled = enabled;
}

void InMemoryFileProviderSystem::setProgress(FileProviderTransferKind kind,
                                             FileProviderProgress progress)
{
    (kind == FileProviderTransferKind::upload ? m_upload : m_download) = progress;
}

void InMemoryFileProviderSystem::setPause(const QString &identifier, FileProviderPause pause)
{
    if (m_pauses.value(identifier) == pause)
        return;
    m_pauses.insert(identifier, pause);
    emit pauseChanged(identifier, pause);
}

QCoro::Task<QList<FileProviderDomain>> InMemoryFileProviderSystem::domains(CancellationToken cancel)
{
    const QList<FileProviderDomain> registered = m_registered;
    co_await answer(call(QStringLiteral("domains")), cancel);
    co_return registered;
}

QCoro::Task<> InMemoryFileProviderSystem::addDomain(FileProviderDomain domain,
                                                    CancellationToken cancel)
{
    const auto error = call(QStringLiteral("add"), domain.identifier);
    if (!error && indexOf(domain.identifier) < 0)
        m_registered.append(domain);
    co_await answer(error, cancel);
}

QCoro::Task<> InMemoryFileProviderSystem::removeDomain(QString identifier,
                                                       CancellationToken cancel)
{
    auto error = call(QStringLiteral("remove"), identifier);
    const qsizetype index = indexOf(identifier);
    if (!error && index < 0)
        error = unknownDomain();
    if (!error)
        m_registered.removeAt(index);
    co_await answer(error, cancel);
}

QCoro::Task<> InMemoryFileProviderSystem::setUserEnabled(QString identifier, bool enabled,
                                                         CancellationToken cancel)
{
    auto error = call(QStringLiteral("enable"), identifier);
    if (!error && indexOf(identifier) < 0)
        error = unknownDomain();
    if (!error)
        switchDomain(identifier, enabled);
    co_await answer(error, cancel);
}

QCoro::Task<> InMemoryFileProviderSystem::signalWorkingSet(QString identifier,
                                                           CancellationToken cancel)
{
    auto error = call(QStringLiteral("signal"), identifier);
    if (!error && indexOf(identifier) < 0)
        error = unknownDomain();
    co_await answer(error, cancel);
}

QCoro::Task<> InMemoryFileProviderSystem::waitForStabilization(QString identifier,
                                                               CancellationToken cancel)
{
    const auto error = call(QStringLiteral("stabilize"), identifier);
    if (m_stabilizing || error) {
        co_await answer(error, cancel);
        co_return;
    }
    const auto held = std::make_shared<Wakeup>();
    m_held.append(held);
    co_await waitFor(held, cancel);
}

QCoro::Task<QString> InMemoryFileProviderSystem::userVisibleFolder(QString identifier,
                                                                   CancellationToken cancel)
{
    auto error = call(QStringLiteral("folder"), identifier);
    if (!error && !m_folder)
        error = unknownDomain();
    const QString folder = m_folder.value_or(QString());
    co_await answer(error, cancel);
    co_return folder;
}

QCoro::Task<FileProviderProgress>
InMemoryFileProviderSystem::progress(QString identifier, FileProviderTransferKind kind,
                                     CancellationToken cancel)
{
    const FileProviderProgress progress =
        kind == FileProviderTransferKind::upload ? m_upload : m_download;
    co_await answer(call(QStringLiteral("progress"), identifier), cancel);
    co_return progress;
}

QCoro::Task<> InMemoryFileProviderSystem::setPaused(QString identifier, bool paused,
                                                    CancellationToken cancel)
{
    auto error = call(paused ? QStringLiteral("pause") : QStringLiteral("resume"), identifier);
    if (!error && indexOf(identifier) < 0)
        error = unknownDomain();
    // Told before the answer, as the extension does.
    if (!error)
        setPause(identifier, {paused, std::nullopt});
    co_await answer(error, cancel);
}

QCoro::Task<FileProviderPause> InMemoryFileProviderSystem::pause(QString identifier,
                                                                 CancellationToken cancel)
{
    auto error = call(QStringLiteral("pause-state"), identifier);
    if (!error && indexOf(identifier) < 0)
        error = unknownDomain();
    co_await answer(error, cancel);
    // As it is when the answer arrives: no notice heard before it is newer.
    co_return m_pauses.value(identifier);
}

} // namespace OrvelanNimbal::Testing
