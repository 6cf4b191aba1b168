// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>

namespace OrvelanNimbal::Service {

struct Account;

// What one upload may be: the sizes the storage takes and the quota every upload counts against.
namespace UploadLimits {

// File content one direct request may carry; more is refused with 413 and goes in parts.
inline constexpr std::int64_t directContent = 16777216; // 16 MiB
// What the service reads and drops of a body it refuses, so that a client still sending it
// reads the refusal rather than a reset; past this, the connection ends with the refusal.
inline constexpr std::int64_t mostBytesDropped = std::int64_t(64) << 20;
// Parts of a multipart upload: numbered 1 to mostParts, none larger than largestPart.
inline constexpr int mostParts = 10000;
inline constexpr std::int64_t largestPart = std::int64_t(5) << 30; // 5 GiB
// The part size suggested when an upload opens: 8 MiB, or what spreads the file over
// mostParts parts.
std::int64_t suggestedPartSize(std::int64_t fileSize);
// Where part `number` (from 1) goes in a file of `fileSize` bytes cut into parts of
// suggestedPartSize(), the last one shorter; nothing for a number beyond the last part.
struct PartSlot {
    std::int64_t offset = 0;
    std::int64_t length = 0;
};
std::optional<PartSlot> suggestedSlot(std::int64_t fileSize, std::int64_t number);
// How many parts such a file has (none for an empty file).
std::int64_t suggestedPartCount(std::int64_t fileSize);
// The largest file a multipart upload can carry.
inline constexpr std::int64_t largestFile = largestPart * mostParts;

// Whether the account's quota can take `delta` more bytes (negative: fewer).
bool fitsQuota(const Account &account, std::int64_t delta);
// Whether a file of this size fits the account's quota at all, the drive emptied.
bool couldEverFit(const Account &account, std::int64_t size);

} // namespace UploadLimits

} // namespace OrvelanNimbal::Service
