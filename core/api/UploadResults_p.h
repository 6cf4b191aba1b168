// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What an upload's answer makes of the drive's file.

#include "api/DriveAPI.h"
#include "models/DriveDTOs.h"

namespace OrvelanNimbal::Uploads {

// A file the service has just created from the local content. The size and hash are the local
// ones until a download grant says otherwise; there is no upload time yet.
DriveFile createdFile(qint64 id, const QString &name, std::optional<qint64> parentID,
                      const DriveAPI::LocalContent &content, QString storageKey,
                      const std::optional<QString> &thumbnailPath, const QDateTime &now);

// The file after its content was replaced: what the answer states replaces the old values, and
// what it leaves out stays, except the storage class, which the replace always resets (a
// missing class is standard), and the thumbnails, which belonged to the old content.
DriveFile mergedAfterReplace(const DriveFile &old, const ReplaceResponseDTO &answer,
                             const QDateTime &now);

// Calendar time of the client's clock, in UTC.
QDateTime uploadNow(const ApiClient &client);

} // namespace OrvelanNimbal::Uploads
