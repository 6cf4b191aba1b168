// SPDX-License-Identifier: GPL-3.0-or-later
#include "domains/DomainController.h"

#include "domains/FileProviderFailure.h"
#include "system/Logging.h"

#include <algorithm>
#include <cmath>

namespace OrvelanNimbal {

namespace {

QString percent(double fraction)
{
    return QString::number(std::lround(fraction * 100.0)) + QStringLiteral(" %");
}

// Cancels `wait` once `timeout` has passed on the clock, unless it was cancelled before.
QCoro::Task<> cancelAfter(std::shared_ptr<Clock> clock, std::chrono::milliseconds timeout,
                          std::shared_ptr<CancellationSource> wait)
{
    try {
        co_await clock->sleep(timeout, wait->token());
    } catch (const OperationCancelled &) {
        co_return; // the wait ended first
    }
    wait->cancel();
}

} // namespace

DomainController::DomainController(std::shared_ptr<FileProviderSystem> system,
                                   std::shared_ptr<Clock> clock)
    : m_system(std::move(system))
    , m_clock(std::move(clock))
{}

QCoro::Task<bool> DomainController::hasDomain(QString account, CancellationToken cancel)
{
    try {
        const QList<FileProviderDomain> registered = co_await m_system->domains(cancel);
        co_return std::any_of(registered.begin(), registered.end(),
                              [&](const auto &domain) { return domain.identifier == account; });
    } catch (const FileProviderFailure &) {
        co_return false;
    }
}

QCoro::Task<bool> DomainController::isMounted(QString account, CancellationToken cancel)
{
    co_return co_await hasDomain(std::move(account), std::move(cancel));
}

QCoro::Task<> DomainController::mount(QString account, CancellationToken cancel)
{
    const QList<FileProviderDomain> registered = co_await m_system->domains(cancel);
    for (const FileProviderDomain &domain : registered) {
        if (domain.identifier != account)
            co_await m_system->removeDomain(domain.identifier, cancel);
    }
    // Added even when already there: the system knows what to do with a domain it has.
    co_await m_system->addDomain(FileProviderDomain::forAccount(account), cancel);
    qCInfo(lcDomain, "Domaine monté pour %s", qUtf8Printable(privateValue(account)));
}

QCoro::Task<> DomainController::unmount(QString account, CancellationToken cancel)
{
    co_await m_system->removeDomain(account, cancel);
    qCInfo(lcDomain, "Domaine retiré pour %s", qUtf8Printable(privateValue(account)));
}

QCoro::Task<bool> DomainController::signal(QString account, bool waitForStabilization,
                                           std::chrono::milliseconds timeout,
                                           CancellationToken cancel)
{
    if (!co_await hasDomain(account, cancel)) {
        qCWarning(lcDomain, "Domaine introuvable, signal ignoré.");
        co_return false;
    }
    try {
        co_await m_system->signalWorkingSet(account, cancel);
    } catch (const FileProviderFailure &error) {
        qCWarning(lcDomain, "Signal impossible : %s", qUtf8Printable(error.errorDescription()));
        co_return false;
    }
    if (!waitForStabilization)
        co_return true;
    const bool stable = co_await this->waitForStabilization(account, timeout, cancel);
    if (!stable)
        qCInfo(lcDomain, "Actualisation : stabilisation non confirmée dans le délai.");
    co_return stable;
}

QCoro::Task<bool> DomainController::waitForStabilization(QString account,
                                                         std::chrono::milliseconds timeout,
                                                         CancellationToken cancel)
{
    // The system's answer and the deadline race on this thread: the deadline cancels the wait,
    // and whichever comes first ends it.
    const auto wait = std::make_shared<CancellationSource>(cancel);
    cancelAfter(m_clock, timeout, wait);
    try {
        co_await m_system->waitForStabilization(account, wait->token());
        wait->cancel(); // stops the deadline
        co_return true;
    } catch (const OperationCancelled &) {
        cancel.throwIfCancelled();
        co_return false; // the deadline passed
    } catch (const FileProviderFailure &) {
        wait->cancel();
        co_return false;
    }
}

QCoro::Task<std::optional<bool>> DomainController::isUserEnabled(QString account,
                                                                 CancellationToken cancel)
{
    try {
        const QList<FileProviderDomain> registered = co_await m_system->domains(cancel);
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
    co_await m_system->setUserEnabled(std::move(account), enabled, std::move(cancel));
}

QCoro::Task<std::optional<QUrl>> DomainController::userVisibleURL(QString account,
                                                                  CancellationToken cancel)
{
    if (!co_await hasDomain(account, cancel))
        co_return std::nullopt;
    try {
        co_return QUrl::fromLocalFile(co_await m_system->userVisibleFolder(account, cancel));
    } catch (const FileProviderFailure &) {
        co_return std::nullopt;
    }
}

QCoro::Task<DomainController::Progress> DomainController::progress(QString account,
                                                                   CancellationToken cancel)
{
    if (m_progressAccount != account) {
        if (!co_await hasDomain(account, cancel))
            co_return Progress{};
        m_progressAccount = account;
    }
    try {
        Progress progress;
        progress.upload =
            co_await m_system->progress(account, FileProviderTransferKind::upload, cancel);
        progress.download =
            co_await m_system->progress(account, FileProviderTransferKind::download, cancel);
        co_return progress;
    } catch (const FileProviderFailure &) {
        // Asked again on the next tick; nothing moves meanwhile.
        m_progressAccount.reset();
        co_return Progress{};
    }
}

QCoro::Task<FileProviderPause> DomainController::pause(QString account, CancellationToken cancel)
{
    try {
        co_return co_await m_system->pause(std::move(account), std::move(cancel));
    } catch (const FileProviderFailure &error) {
        qCInfo(lcDomain, "Pause inconnue : %s", qUtf8Printable(error.errorDescription()));
        co_return FileProviderPause{};
    }
}

QCoro::Task<> DomainController::setPaused(QString account, bool paused, CancellationToken cancel)
{
    co_await m_system->setPaused(std::move(account), paused, std::move(cancel));
    if (paused)
        qCInfo(lcDomain, "Synchronisation mise en pause.");
    else
        qCInfo(lcDomain, "Synchronisation reprise.");
}

QCoro::Task<std::optional<QString>> DomainController::transferLabel(QString account,
                                                                    CancellationToken cancel)
{
    const Progress live = co_await progress(std::move(account), cancel);
    co_return transferText(live.upload, live.download);
}

std::optional<QString>
DomainController::transferText(const std::optional<FileProviderProgress> &upload,
                               const std::optional<FileProviderProgress> &download)
{
    if (!upload)
        return std::nullopt;
    const double sent = upload->fractionCompleted;
    const bool uploading = !upload->finished && upload->totalUnitCount > 0 && sent < 1.0;
    const double received = download ? download->fractionCompleted : 0.0;
    const bool downloading = download && !download->finished && download->totalUnitCount >= 1;

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
