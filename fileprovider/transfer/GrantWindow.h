// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/DriveAPI.h"
#include "async/Cancellation.h"
#include "async/Wakeup.h"

#include <QCoro/QCoroTask>

#include <memory>
#include <optional>
#include <vector>

namespace OrvelanNimbal::FileProvider {

// Download grants asked for ahead of the downloads that use them, in the order the downloads
// are taken, at most `window` ahead: a download starts the moment a worker is free instead of
// first waiting for its grant's round trip.
class GrantWindow {
public:
    // One entry per download, in the order they are taken; nothing for one that needs no grant.
    GrantWindow(DriveAPI drive, std::vector<std::optional<DriveFile>> files, qsizetype window,
                CancellationToken cancel);

    // The grant of download `index`, once the service gave it; asks for the next ones up to the
    // window. Throws what asking threw (DriveError, OperationCancelled).
    QCoro::Task<DriveDownload> grant(qsizetype index);

private:
    struct Slot {
        DriveFile file;
        std::optional<DriveDownload> grant;
        std::exception_ptr failure;
        Wakeup ready;
        bool done = false;
    };

    void askUpTo(qsizetype end);
    // Detached: it outlives the window when the pass ends first, holding only its slot.
    static QCoro::Task<> ask(DriveAPI drive, std::shared_ptr<Slot> slot, CancellationToken cancel);

    DriveAPI m_drive;
    std::vector<std::shared_ptr<Slot>> m_slots; // null where no grant is needed
    qsizetype m_window;
    qsizetype m_asked = 0; // downloads whose grant was asked for, from the first
    CancellationToken m_cancel;
};

} // namespace OrvelanNimbal::FileProvider
