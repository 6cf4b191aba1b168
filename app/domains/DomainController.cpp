// SPDX-License-Identifier: GPL-3.0-or-later
#include "domains/DomainController.h"

#include "domains/FileProviderFailure.h"
#include "domains/FirstOnly.h"
#include "domains/SystemReply_p.h"
#include "system/Logging.h"

#include <cmath>

namespace OrvelanNimbal {

namespace {

using ErrorReply = SystemReply<std::optional<FileProviderError>>;

// One domain per account: its identifier and its name are the account as the session holds it.
FileProviderDomain domainFor(const QString &account)
{
    return {account, account, true};
}

QString percent(double fraction)
{
    return QString::number(std::lround(fraction * 100.0)) + QStringLiteral(" %");
}

// The loser of the stabilisation race: sleeps out the timeout, then answers "not stable" unless
// the system answered first. Holds nothing of the controller, which may be gone by then.
QCoro::Task<> stabilizationDeadline(std::shared_ptr<Clock> clock, std::chrono::milliseconds timeout,
                                    std::shared_ptr<FirstOnly> race,
                                    std::function<void(bool)> resume, CancellationToken cancel)
{
    try {
        co_await clock->sleep(timeout, cancel);
    } catch (const OperationCancelled &) {
        // A cancelled sleep still ends the wait: the waiter sees its own cancellation.
    }
    if (race->first())
        resume(false);
}

// The winner of the stabilisation race when the system answers first: stable unless it failed.
// Made outside the coroutine that waits, so that the coroutine holds no closure of its own.
std::function<void(std::optional<FileProviderError>)>
stabilizationAnswer(std::shared_ptr<FirstOnly> race, std::function<void(bool)> resume)
{
    return [race = std::move(race), resume = std::move(resume)](
               std::optional<FileProviderError> error) {
        if (race->first())
            resume(!error);
    };
}

} // namespace

DomainController::DomainController(std::shared_ptr<FileProviderSystem> system,
                                   std::shared_ptr<Clock> clock)
    : m_system(std::move(system))
    , m_clock(std::move(clock))
{}

QCoro::Task<QList<FileProviderDomain>> DomainController::domains(CancellationToken cancel)
{
    SystemReply<QList<FileProviderDomain>, std::optional<FileProviderError>> reply;
    m_system->domains(reply.completion());
    auto [domains, error] = co_await reply.wait(cancel);
    if (error)
        throw FileProviderFailure(*error);
    co_return domains;
}

QCoro::Task<std::shared_ptr<FileProviderManager>>
DomainController::manager(QString account, CancellationToken cancel)
{
    SystemReply<std::shared_ptr<FileProviderManager>> reply;
    m_system->manager(account, reply.completion());
    auto [manager] = co_await reply.wait(cancel);
    co_return manager;
}

QCoro::Task<> DomainController::remove(FileProviderDomain domain, CancellationToken cancel)
{
    ErrorReply reply;
    m_system->removeDomain(std::move(domain), reply.completion());
    const auto [error] = co_await reply.wait(cancel);
    if (error)
        throw FileProviderFailure(*error);
}

QCoro::Task<bool> DomainController::isMounted(QString account, CancellationToken cancel)
{
    try {
        const QList<FileProviderDomain> registered = co_await domains(cancel);
        for (const FileProviderDomain &domain : registered) {
            if (domain.identifier == account)
                co_return true;
        }
        co_return false;
    } catch (const FileProviderFailure &) {
        co_return false;
    }
}

QCoro::Task<> DomainController::mount(QString account, CancellationToken cancel)
{
    const QList<FileProviderDomain> registered = co_await domains(cancel);
    for (const FileProviderDomain &domain : registered) {
        if (domain.identifier != account)
            co_await remove(domain, cancel);
    }
    // Added even when already there: the system knows what to do with a domain it has.
    ErrorReply reply;
    m_system->addDomain(domainFor(account), reply.completion());
    const auto [error] = co_await reply.wait(cancel);
    if (error)
        throw FileProviderFailure(*error);
    qCInfo(lcDomain, "Domaine monté pour %s", qUtf8Printable(privateValue(account)));
}

QCoro::Task<> DomainController::unmount(QString account, CancellationToken cancel)
{
    co_await remove(domainFor(account), cancel);
    qCInfo(lcDomain, "Domaine retiré pour %s", qUtf8Printable(privateValue(account)));
}

QCoro::Task<bool> DomainController::signal(QString account, bool waitForStabilization,
                                           std::chrono::milliseconds timeout,
                                           CancellationToken cancel)
{
    const std::shared_ptr<FileProviderManager> found = co_await manager(account, cancel);
    if (!found) {
        qCWarning(lcDomain, "Domaine introuvable, signal ignoré.");
        co_return false;
    }
    ErrorReply reply;
    found->signalWorkingSet(reply.completion());
    const auto [error] = co_await reply.wait(cancel);
    if (error) {
        qCWarning(lcDomain, "Signal impossible : %s", qUtf8Printable(error->message));
        co_return false;
    }
    if (!waitForStabilization)
        co_return true;
    const bool stable = co_await this->waitForStabilization(found, timeout, cancel);
    if (!stable)
        qCInfo(lcDomain, "Actualisation : stabilisation non confirmée dans le délai.");
    co_return stable;
}

QCoro::Task<bool>
DomainController::waitForStabilization(std::shared_ptr<FileProviderManager> manager,
                                       std::chrono::milliseconds timeout, CancellationToken cancel)
{
    // The system's answer and the deadline race; whichever comes first resumes the caller.
    const auto race = std::make_shared<FirstOnly>();
    SystemReply<bool> reply;
    const std::function<void(bool)> resume = reply.completion();
    manager->waitForStabilization(stabilizationAnswer(race, resume));
    stabilizationDeadline(m_clock, timeout, race, resume, cancel);
    const auto [stable] = co_await reply.wait(cancel);
    co_return stable;
}

QCoro::Task<std::optional<bool>> DomainController::isUserEnabled(QString account,
                                                                 CancellationToken cancel)
{
    try {
        const QList<FileProviderDomain> registered = co_await domains(cancel);
        for (const FileProviderDomain &domain : registered) {
            if (domain.identifier == account)
                co_return domain.userEnabled;
        }
    } catch (const FileProviderFailure &) {
        // Unknown: it must never read as switched off.
    }
    co_return std::nullopt;
}

QCoro::Task<> DomainController::setUserEnabled(QString account, bool enabled,
                                               CancellationToken cancel)
{
    ErrorReply reply;
    m_system->setUserEnabled(account, enabled, reply.completion());
    const auto [error] = co_await reply.wait(cancel);
    if (error)
        throw FileProviderFailure(*error);
}

QCoro::Task<std::optional<QUrl>> DomainController::userVisibleURL(QString account,
                                                                  CancellationToken cancel)
{
    const std::shared_ptr<FileProviderManager> found = co_await manager(account, cancel);
    if (!found)
        co_return std::nullopt;
    SystemReply<std::optional<QString>, std::optional<FileProviderError>> reply;
    found->userVisibleFolder(reply.completion());
    const auto [folder, error] = co_await reply.wait(cancel);
    if (error || !folder)
        co_return std::nullopt;
    co_return QUrl::fromLocalFile(*folder);
}

QCoro::Task<DomainController::Progress> DomainController::progress(QString account,
                                                                   CancellationToken cancel)
{
    if (m_cachedProgress && m_cachedProgress->account == account) {
        // Returned as a const reference: QCoro moves from any other lvalue it is given.
        const Progress &cached = m_cachedProgress->progress;
        co_return cached;
    }
    const std::shared_ptr<FileProviderManager> found = co_await manager(account, cancel);
    if (!found)
        co_return Progress{};
    // Live objects: they follow the transfers by themselves for as long as the account stays.
    const Progress live{found->globalProgress(FileProviderTransferKind::upload),
                        found->globalProgress(FileProviderTransferKind::download)};
    m_cachedProgress = CachedProgress{account, live};
    co_return live;
}

QCoro::Task<FileProviderPause> DomainController::pauseState(QString account,
                                                            CancellationToken cancel)
{
    const std::shared_ptr<FileProviderManager> found = co_await manager(account, cancel);
    if (!found)
        co_return FileProviderPause{};
    SystemReply<FileProviderPause, std::optional<FileProviderError>> reply;
    found->pauseState(reply.completion());
    const auto [pause, error] = co_await reply.wait(cancel);
    if (error)
        co_return FileProviderPause{};
    co_return pause;
}

QCoro::Task<> DomainController::setPaused(QString account, bool paused,
                                          CancellationToken cancel)
{
    const std::shared_ptr<FileProviderManager> found = co_await manager(account, cancel);
    if (!found)
        throw FileProviderFailure(
            {QStringLiteral("net.orvelan.nimbal.FileProvider1.Error.NoSuchDomain"),
             QStringLiteral("Ce compte n'a pas de dossier Nimbal.")});
    ErrorReply reply;
    found->setPaused(paused, reply.completion());
    const auto [error] = co_await reply.wait(cancel);
    if (error)
        throw FileProviderFailure(*error);
    if (paused)
        qCInfo(lcDomain, "Synchronisation mise en pause.");
    else
        qCInfo(lcDomain, "Synchronisation reprise.");
}

QCoro::Task<std::optional<QString>> DomainController::transferLabel(QString account,
                                                                    CancellationToken cancel)
{
    const Progress live = co_await progress(std::move(account), cancel);
    co_return transferText(live.upload.get(), live.download.get());
}

std::optional<QString> DomainController::transferText(const FileProviderProgress *upload,
                                                      const FileProviderProgress *download)
{
    if (!upload)
        return std::nullopt;
    const double sent = upload->fractionCompleted();
    const bool uploading = !upload->isFinished() && upload->totalUnitCount() > 0 && sent < 1.0;
    const double received = download ? download->fractionCompleted() : 0.0;
    const bool downloading = download && !download->isFinished() && download->totalUnitCount() >= 1;

    if (uploading && downloading && received < 1.0)
        return QStringLiteral("Envoi ") + percent(sent) + QStringLiteral(", téléchargement ")
               + percent(received);
    if (downloading && received < 1.0 && !uploading)
        return QStringLiteral("Téléchargement en cours… ") + percent(received);
    if (uploading)
        return QStringLiteral("Envoi en cours… ") + percent(sent);
    return std::nullopt;
}

} // namespace OrvelanNimbal
