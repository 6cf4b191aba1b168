// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The storage side of a multipart upload: opening it, sending the content part by part to
// presigned addresses, and abandoning it when something fails.

#include "api/DriveAPI.h"
#include "api/UploadForms_p.h"

namespace OrvelanNimbal::Uploads {

// Opens a multipart upload. The part size is ours (DriveAPI::partSize), whatever the answer
// suggests: it bounds the memory one part takes.
QCoro::Task<OpenedUpload> openUpload(std::shared_ptr<ApiClient> client, QJsonObject body,
                                     qint64 contentSize, CancellationToken cancel);

// Tells the caller the upload is open (LocalContent::onPartsOpened); when that fails, the upload
// is abandoned and the failure passed on.
QCoro::Task<> announceOpened(
    std::shared_ptr<ApiClient> client, OpenedUpload upload,
    std::function<void(const QString &uploadID, const QString &storageKey)> onPartsOpened);

// The stored parts, and the content's hash: the caller's, or the one made from the parts.
struct SentParts {
    std::vector<UploadedPart> parts;
    QString contentHash;
};

// Sends the content's parts strictly in order and reports the cumulative bytes sent after
// each. Cancellation is checked before each part. A content whose hash the caller left empty
// is hashed from the parts as they are read (two parts in memory at most: the one travelling
// and the next). Any failure abandons the upload before it is passed on.
QCoro::Task<SentParts> sendPartsOrAbandon(std::shared_ptr<ApiClient> client,
                                          OpenedUpload upload, DriveAPI::LocalContent content,
                                          DriveAPI::Progress progress, CancellationToken cancel);

// Asks the service to drop the upload's stored parts. Never fails: it only runs when the upload
// has already failed, and that failure is what the caller must learn.
QCoro::Task<> abandonUpload(std::shared_ptr<ApiClient> client, OpenedUpload upload);

} // namespace OrvelanNimbal::Uploads
