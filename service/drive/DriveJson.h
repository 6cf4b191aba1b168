// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drive/DriveRecords.h"

#include <QJsonObject>

namespace OrvelanNimbal::Service::DriveJson {

// Items as the clients read them: the service's snake_case keys, ids as exact integers, dates
// in seconds since 1970, the root as parent 0, "to_delete" 1 for an item in the trash.
QJsonObject folder(const FolderRecord &folder);
// A file's "file_path" is its content key; "file_miniatures_path" is null without thumbnails.
QJsonObject file(const FileRecord &file);

} // namespace OrvelanNimbal::Service::DriveJson
