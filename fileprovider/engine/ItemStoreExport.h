// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/ItemRecord.h"

#include <QUrl>

#include <optional>

namespace OrvelanNimbal::FileProvider {

// The item store the application and the user may read: every path of the domain's folder that
// holds a drive item, with the item's identifier, its parent's, size, content hash, date and
// version token, and the feed's cursor. An export of the journal, replaced whole after each pass
// that changed something (written beside, then renamed), readable by the user only.
//
//   {"version":1,"cursor":42,"items":{"Documents/a.txt":{"id":"f:12","parent":"d:3",
//    "size":5,"hash":"…","date":1700000000,"version":"u:1700000000:5"},"Documents":{…}}}
QByteArray itemStoreJson(const ItemTable &items, std::optional<qint64> cursor);
// Failures leave the previous file in place; they are logged, not thrown.
void writeItemStore(const std::optional<QUrl> &file, const ItemTable &items,
                    std::optional<qint64> cursor);

} // namespace OrvelanNimbal::FileProvider
