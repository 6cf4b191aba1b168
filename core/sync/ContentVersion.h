// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "models/DriveModels.h"
#include "sync/ReplacePrecondition.h"

#include <QString>

// A short text that names the version of a file's content, kept by the caller between a
// download and the next upload, and turned back into the precondition of that upload: an edit
// made on a stale version is then refused by the service instead of overwriting a newer one.
//
//   "u:" upload time ":" size   when the service gave an upload time (the strongest stamp)
//   "h:" hash                   otherwise, when it gave a content hash
//   "m:" size ":" modified      otherwise; guards nothing, the service cannot check it
namespace OrvelanNimbal::ContentVersion {

QString token(const DriveFile &file);

// Never fails: an unknown or damaged token gives no precondition, so the replace is
// unconditional rather than impossible.
ReplacePrecondition precondition(QStringView token);

} // namespace OrvelanNimbal::ContentVersion
