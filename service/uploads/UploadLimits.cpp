// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/UploadLimits.h"

#include "auth/Accounts.h"

#include <algorithm>

namespace OrvelanNimbal::Service::UploadLimits {

namespace {

constexpr std::int64_t smallestSuggestedPart = 8388608; // 8 MiB
constexpr std::int64_t bytesPerMegabyte = 1024 * 1024;

} // namespace

std::int64_t suggestedPartSize(std::int64_t fileSize)
{
    const std::int64_t spread = fileSize / mostParts + (fileSize % mostParts > 0 ? 1 : 0);
    return std::max(smallestSuggestedPart, spread);
}

std::int64_t suggestedPartCount(std::int64_t fileSize)
{
    const std::int64_t size = suggestedPartSize(fileSize);
    return fileSize / size + (fileSize % size > 0 ? 1 : 0);
}

std::optional<PartSlot> suggestedSlot(std::int64_t fileSize, std::int64_t number)
{
    if (number < 1 || number > suggestedPartCount(fileSize))
        return std::nullopt;
    const std::int64_t size = suggestedPartSize(fileSize);
    const std::int64_t offset = (number - 1) * size;
    return PartSlot{offset, std::min(size, fileSize - offset)};
}

bool fitsQuota(const Account &account, std::int64_t delta)
{
    // Shrinking content always fits, even for an account already over its quota (one whose
    // quota was lowered): refusing it would only keep the account further over.
    if (delta <= 0)
        return true;
    return account.storageUsedBytes + delta <= account.quotaMaxMegabytes * bytesPerMegabyte;
}

bool couldEverFit(const Account &account, std::int64_t size)
{
    return size <= account.quotaMaxMegabytes * bytesPerMegabyte;
}

} // namespace OrvelanNimbal::Service::UploadLimits
