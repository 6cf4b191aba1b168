// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <chrono>
#include <exception>
#include <optional>

namespace OrvelanNimbal::FileProvider {

// Why an item's step failed, as far as waiting goes. The values are stored in the journal.
enum class FailureKind {
    service = 1, // unreachable, 5xx, 429: the service will take it later
    locked = 2,  // 423: open in the online editor
    quota = 3,   // 507: no room for new content
    local = 4,   // the disk refused (unreadable, full, a name it does not take)
    refused = 5, // the service refused this request (a name, a size): tried again much later
};

// An item's failure as the journal keeps it, so that its wait survives a restart. `subject`
// names the item ("f:12", "d:3") or, for something of the disk the service does not have yet,
// its path ("p:Documents/a.txt").
struct Failure {
    QString subject;
    FailureKind kind = FailureKind::service;
    int attempts = 0;
    QString error;     // in French, as the log and the item's status say it
    qint64 nextTryMs = 0; // calendar time, milliseconds since 1970
    // What the item looked like when it failed: once it changes, it is tried again at once.
    QString fingerprint;

    friend bool operator==(const Failure &, const Failure &) = default;
};

// Errors that end the whole pass rather than one item's step: the session is gone, the journal
// cannot be written, the pass was cancelled. Everything else is the item's own.
bool endsThePass(const std::exception &error);

FailureKind failureKind(const std::exception &error);
// The service's Retry-After, when it sent one.
std::optional<std::chrono::seconds> retryAfterOf(const std::exception &error);
QString describeFailure(const std::exception &error);

// How long an item waits after its `attempts`-th failure (1 for the first), from the table of
// waits of each kind; a Retry-After of the service lengthens the wait, never shortens it, and
// nothing waits more than a day.
std::chrono::seconds waitAfter(FailureKind kind, int attempts,
                               std::optional<std::chrono::seconds> retryAfter = std::nullopt);

} // namespace OrvelanNimbal::FileProvider
