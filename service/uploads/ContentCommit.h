// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drive/DriveRecords.h"

#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>

namespace OrvelanNimbal::Service {

class ServiceContext;
// Content received whole (one request, or assembled from parts), finished but not yet kept.
struct ReceivedContent {
    std::filesystem::path file; // the finished file, renamed into the store when kept
    QString key;                // where it goes in the content store
    std::int64_t size = 0;
    QString hash; // SHA-256 of what was received
    QString contentType;
};

// The version of the content a client last saw; a replace holds only if the file still has it.
struct ReplaceGuard {
    std::optional<QString> ifContentHash;
    std::optional<std::int64_t> ifDateUpload;
};

// How received content becomes a file's, the same for a direct upload and an assembled one:
// one drive change (so the change feed, the storage used and the event streams follow), with
// the quota and, for a replace, the file's state and the client's version checked inside it.
// A refusal throws DriveFailure and leaves neither the received content nor any change behind.
namespace ContentCommit {

// 400 "hash_mismatch" when the client announced a hash and the content has another: the file
// changed while it was sent, or the bytes were damaged on the way.
void requireAnnouncedHash(const ReceivedContent &content, const std::optional<QString> &announced);

// 507 when the account cannot hold the content; 400 or 404 for the name and folder, 409 for a
// name already taken (see DriveMutations::addFile).
FileRecord create(ServiceContext &context, std::int64_t accountId, ReceivedContent content,
                  const QString &name, std::int64_t folderId);

// 404 for a file not in the drive (or in the trash); 423 while it is locked; 409 "reinforced",
// 409 "archived" (any class but standard), or 409 without a header when the guard no longer
// holds; 507 when the quota cannot take the difference. The new content gets an upload date
// later than the old one's, even within the same second, since clients take it as the version.
FileRecord replace(ServiceContext &context, std::int64_t accountId, std::int64_t fileId,
                   ReceivedContent content, const ReplaceGuard &guard);

} // namespace ContentCommit

} // namespace OrvelanNimbal::Service
