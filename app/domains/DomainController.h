// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "async/Cancellation.h"
#include "async/Clock.h"
#include "domains/FileProviderSystem.h"

#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

namespace OrvelanNimbal {

// The application's one point of contact with the file-provider system: it registers the
// signed-in account's domain (one at a time), asks the system to re-read the drive, optionally
// waits for it to catch up, reads the user's switch for the domain, finds the folder the file
// manager shows, words the system's transfer progress, and pauses and resumes the domain.
//
// Lives on the main thread and resumes there. Every wait takes a token which the owner cancels
// before the controller goes away: a cancelled wait ends with OperationCancelled and never
// resumes into a destroyed controller. Failures of the system are thrown as
// FileProviderFailure where the caller must know (mount, unmount, setUserEnabled, setPaused);
// elsewhere they read as "no", "unknown" or nothing, and are logged.
class DomainController {
public:
    // The domain's transfers, each absent when the system has no such domain.
    struct Progress {
        std::optional<FileProviderProgress> upload;
        std::optional<FileProviderProgress> download;
    };

    DomainController(std::shared_ptr<FileProviderSystem> system, std::shared_ptr<Clock> clock);

    QCoro::Task<bool> isMounted(QString account, CancellationToken cancel);
    // Removes every other domain of the application, then registers the account's.
    QCoro::Task<> mount(QString account, CancellationToken cancel);
    QCoro::Task<> unmount(QString account, CancellationToken cancel);

    // Asks the system to re-read the working set; true once it accepted, or, when asked to
    // wait, once it reported having caught up within `timeout`.
    QCoro::Task<bool> signal(QString account, bool waitForStabilization,
                             std::chrono::milliseconds timeout, CancellationToken cancel);
    // True when the system reported having caught up within `timeout` (on the clock).
    QCoro::Task<bool> waitForStabilization(QString account, std::chrono::milliseconds timeout,
                                           CancellationToken cancel);

    // The user's switch for the account's domain; nothing when the system cannot tell.
    QCoro::Task<std::optional<bool>> isUserEnabled(QString account, CancellationToken cancel);
    // Turns the switch back on (or off) for the user, who asked for it from the panel.
    QCoro::Task<> setUserEnabled(QString account, bool enabled, CancellationToken cancel);
    // The folder the file manager shows for the domain's root.
    QCoro::Task<std::optional<QUrl>> userVisibleURL(QString account, CancellationToken cancel);

    // The system's progress for the account. The domain is looked up once per account; the
    // values are what the system last said.
    QCoro::Task<Progress> progress(QString account, CancellationToken cancel);
    // The account's pause as the system last said; not paused when it has no such domain or
    // cannot tell.
    QCoro::Task<FileProviderPause> pause(QString account, CancellationToken cancel);
    // Pauses until resumed, or resumes. Throws FileProviderFailure.
    QCoro::Task<> setPaused(QString account, bool paused, CancellationToken cancel);
    QCoro::Task<std::optional<QString>> transferLabel(QString account, CancellationToken cancel);

    // « Envoi 42 %, téléchargement 17 % », « Téléchargement en cours… 17 % », « Envoi en
    // cours… 42 % », or nothing while nothing moves.
    static std::optional<QString> transferText(const std::optional<FileProviderProgress> &upload,
                                               const std::optional<FileProviderProgress> &download);

private:
    // Whether the system has the account's domain; a system that cannot tell has none.
    QCoro::Task<bool> hasDomain(QString account, CancellationToken cancel);

    std::shared_ptr<FileProviderSystem> m_system;
    std::shared_ptr<Clock> m_clock;
    // The account whose domain the progress was last found for.
    std::optional<QString> m_progressAccount;
};

} // namespace OrvelanNimbal
