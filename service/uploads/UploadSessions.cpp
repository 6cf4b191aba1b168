// SPDX-License-Identifier: GPL-3.0-or-later
#include "uploads/UploadSessions.h"

#include "foundation/Database.h"

#include <string>

namespace OrvelanNimbal::Service::UploadSessions {

namespace {

const std::string columns = "SELECT upload_id, account_id, content_key, file_size, created_at,"
                            " touched_at FROM uploads ";

UploadSession sessionFrom(const Statement &row)
{
    UploadSession upload;
    upload.id = row.text(0);
    upload.accountId = row.int64(1);
    upload.contentKey = row.text(2);
    upload.fileSize = row.int64(3);
    upload.createdAt = row.int64(4);
    upload.touchedAt = row.int64(5);
    return upload;
}

} // namespace

void insert(Connection &connection, const UploadSession &upload)
{
    connection.exec("INSERT INTO uploads (upload_id, account_id, content_key, file_size,"
                    " created_at, touched_at) VALUES (?, ?, ?, ?, ?, ?)",
                    upload.id, upload.accountId, upload.contentKey, upload.fileSize,
                    upload.createdAt, upload.touchedAt);
}

std::optional<UploadSession> find(Connection &connection, std::int64_t accountId,
                                  const QString &uploadId)
{
    Statement row =
        connection.query(columns + "WHERE account_id = ? AND upload_id = ?", accountId, uploadId);
    if (!row.step())
        return std::nullopt;
    return sessionFrom(row);
}

std::optional<UploadSession> findAnyAccount(Connection &connection, const QString &uploadId)
{
    Statement row = connection.query(columns + "WHERE upload_id = ?", uploadId);
    if (!row.step())
        return std::nullopt;
    return sessionFrom(row);
}

void recordPart(Connection &connection, const QString &uploadId, const StoredPart &part,
                std::int64_t now)
{
    connection.exec("INSERT OR REPLACE INTO upload_parts (upload_id, part_number, part_size, etag,"
                    " in_place) VALUES (?, ?, ?, ?, ?)",
                    uploadId, part.number, part.size, part.etag, part.inPlace);
    connection.exec("UPDATE uploads SET touched_at = ? WHERE upload_id = ?", now, uploadId);
}

void forgetPart(Connection &connection, const QString &uploadId, int number)
{
    connection.exec("DELETE FROM upload_parts WHERE upload_id = ? AND part_number = ?", uploadId,
                    number);
}

std::vector<StoredPart> parts(Connection &connection, const QString &uploadId)
{
    Statement rows =
        connection.query("SELECT part_number, part_size, etag, in_place FROM upload_parts"
                         " WHERE upload_id = ? ORDER BY part_number",
                         uploadId);
    return readAll(rows, [](const Statement &row) {
        return StoredPart{int(row.int64(0)), row.int64(1), row.text(2), row.int64(3) != 0};
    });
}

void remove(Connection &connection, const QString &uploadId)
{
    connection.exec("DELETE FROM upload_parts WHERE upload_id = ?", uploadId);
    connection.exec("DELETE FROM uploads WHERE upload_id = ?", uploadId);
}

std::vector<UploadSession> idleSince(Connection &connection, std::int64_t last)
{
    Statement rows = connection.query(columns + "WHERE touched_at <= ? ORDER BY touched_at", last);
    return readAll(rows, sessionFrom);
}

std::vector<UploadSession> ofAccount(Connection &connection, std::int64_t accountId)
{
    Statement rows =
        connection.query(columns + "WHERE account_id = ? ORDER BY created_at", accountId);
    return readAll(rows, sessionFrom);
}

} // namespace OrvelanNimbal::Service::UploadSessions
