// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The two ways content reaches the drive. Direct: the whole file in one multipart/form-data
// request to the API, for files up to DriveAPI::directUploadLimit. In parts: the API opens an
// upload, the parts go straight to storage through presigned addresses, the API assembles them.

#include "api/DriveAPI.h"

namespace OrvelanNimbal::Uploads {

// Sent once, never retried: a body this size is not resent blindly. A 413 answer comes back as
// DriveError::payloadTooLarge, for the caller to go through parts instead.
QCoro::Task<DriveFile> createDirectly(std::shared_ptr<ApiClient> client, QString name,
                                      std::optional<qint64> parentID,
                                      DriveAPI::LocalContent content, DriveAPI::Progress progress,
                                      CancellationToken cancel);
QCoro::Task<DriveFile> replaceDirectly(std::shared_ptr<ApiClient> client, DriveFile file,
                                       DriveAPI::LocalContent content,
                                       ReplacePrecondition precondition,
                                       DriveAPI::Progress progress, CancellationToken cancel);

QCoro::Task<DriveFile> createInParts(std::shared_ptr<ApiClient> client, QString name,
                                     std::optional<qint64> parentID, DriveAPI::LocalContent content,
                                     DriveAPI::Progress progress, CancellationToken cancel);
QCoro::Task<DriveFile> replaceInParts(std::shared_ptr<ApiClient> client, DriveFile file,
                                      DriveAPI::LocalContent content,
                                      ReplacePrecondition precondition, DriveAPI::Progress progress,
                                      CancellationToken cancel);

} // namespace OrvelanNimbal::Uploads
