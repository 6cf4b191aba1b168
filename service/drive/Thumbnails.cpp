// SPDX-License-Identifier: GPL-3.0-or-later
#include "drive/Thumbnails.h"

#include "foundation/Database.h"

namespace OrvelanNimbal::Service::Thumbnails {

void put(Connection &connection, std::int64_t accountId, const QString &key, const Image &image)
{
    connection.exec("INSERT INTO drive_thumbnails (account_id, thumbnail_key, content_type, image)"
                    " VALUES (?, ?, ?, ?) ON CONFLICT (account_id, thumbnail_key)"
                    " DO UPDATE SET content_type = excluded.content_type, image = excluded.image",
                    accountId, key, image.contentType, image.bytes);
}

std::optional<std::int64_t> idOf(Connection &connection, std::int64_t accountId, const QString &key)
{
    Statement row = connection.query(
        "SELECT id FROM drive_thumbnails WHERE account_id = ? AND thumbnail_key = ?", accountId,
        key);
    if (!row.step())
        return std::nullopt;
    return row.int64(0);
}

std::optional<Image> image(Connection &connection, std::int64_t id)
{
    Statement row =
        connection.query("SELECT content_type, image FROM drive_thumbnails WHERE id = ?", id);
    if (!row.step())
        return std::nullopt;
    return Image{row.text(0), row.blob(1)};
}

} // namespace OrvelanNimbal::Service::Thumbnails
