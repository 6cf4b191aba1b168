// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/RetryPolicy.h"

#include "async/Cancellation.h"
#include "engine/SqliteDatabase.h"
#include "errors/DriveError.h"
#include "errors/FileError.h"

#include <algorithm>
#include <array>

namespace OrvelanNimbal::FileProvider {

namespace {

using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;

// The waits, one table per kind; the last entry repeats.
constexpr std::array serviceWaits{seconds(25), seconds(25), seconds(25), seconds(25),
                                  seconds(25), seconds(minutes(5)), seconds(minutes(30)),
                                  seconds(hours(2)), seconds(hours(24))};
constexpr std::array lockedWaits{seconds(30), seconds(minutes(1)), seconds(minutes(2)),
                                 seconds(minutes(5)), seconds(minutes(10))};
constexpr std::array quotaWaits{seconds(minutes(15))};
constexpr std::array localWaits{seconds(minutes(5))};
constexpr seconds longestWait = hours(24);

template <std::size_t N>
seconds pick(const std::array<seconds, N> &waits, int attempts)
{
    return waits[std::size_t(std::clamp(attempts - 1, 0, int(N) - 1))];
}

} // namespace

bool endsThePass(const std::exception &error)
{
    if (dynamic_cast<const OperationCancelled *>(&error)
        || dynamic_cast<const JournalError *>(&error))
        return true;
    const auto *drive = dynamic_cast<const DriveError *>(&error);
    return drive && drive->kind() == DriveError::Kind::notAuthenticated;
}

FailureKind failureKind(const std::exception &error)
{
    if (dynamic_cast<const FileError *>(&error))
        return FailureKind::local;
    const auto *drive = dynamic_cast<const DriveError *>(&error);
    if (!drive)
        return FailureKind::local;
    using Kind = DriveError::Kind;
    switch (drive->kind()) {
    case Kind::locked:
        return FailureKind::locked;
    case Kind::insufficientQuota:
        return FailureKind::quota;
    case Kind::transport:
        return FailureKind::service;
    case Kind::http:
        return drive->status() >= 500 || drive->status() == 429 ? FailureKind::service
                                                                 : FailureKind::refused;
    default:
        return FailureKind::refused;
    }
}

std::optional<seconds> retryAfterOf(const std::exception &error)
{
    const auto *drive = dynamic_cast<const DriveError *>(&error);
    return drive ? drive->retryAfter() : std::nullopt;
}

QString describeFailure(const std::exception &error)
{
    if (const auto *drive = dynamic_cast<const DriveError *>(&error))
        return drive->errorDescription();
    if (const auto *file = dynamic_cast<const FileError *>(&error))
        return file->errorDescription();
    return QString::fromUtf8(error.what());
}

seconds waitAfter(FailureKind kind, int attempts, std::optional<seconds> retryAfter)
{
    seconds wait{};
    switch (kind) {
    case FailureKind::service:
        wait = pick(serviceWaits, attempts);
        break;
    case FailureKind::locked:
        wait = pick(lockedWaits, attempts);
        break;
    case FailureKind::quota:
        wait = pick(quotaWaits, attempts);
        break;
    case FailureKind::local:
    case FailureKind::refused:
        wait = pick(localWaits, attempts);
        break;
    }
    if (retryAfter)
        wait = std::max(wait, *retryAfter);
    return std::min(wait, longestWait);
}

} // namespace OrvelanNimbal::FileProvider
