// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// From the service's records to the drive's models: absent values get their defaults here, never
// in the decoders.

#include "models/DriveDTOs.h"
#include "models/DriveModels.h"

namespace OrvelanNimbal {

// The rvalue forms hand the records' texts over to the models instead of sharing them.
DriveFile fileFromWire(const FileDTO &dto);
DriveFile fileFromWire(FileDTO &&dto);
DriveFolder folderFromWire(const FolderDTO &dto);
DriveFolder folderFromWire(FolderDTO &&dto);
DriveChanges changesFromWire(const ChangesDTO &dto);
DriveChanges changesFromWire(ChangesDTO &&dto);
DriveQuota quotaFromWire(const QuotaDTO &dto);
// Throws DriveError::decoding "URL de téléchargement invalide" unless the URL is http(s).
DriveDownload downloadFromWire(const DownloadURLDTO &dto);

// A byte count sent as a JSON number, to the nearest integer with halves away from zero;
// clamped to the 64-bit range (a size beyond it cannot be real).
qint64 wholeBytes(double value);
// Seconds since 1970, as an instant.
QDateTime instantFromEpochSeconds(qint64 seconds);

} // namespace OrvelanNimbal
