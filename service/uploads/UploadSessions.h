// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace OrvelanNimbal::Service {

struct SchemaModule;

class Connection;

// A multipart upload between its opening and its completion or abandonment.
struct UploadSession {
    QString id;
    std::int64_t accountId = 0;
    QString contentKey;
    std::int64_t fileSize = 0;
    std::int64_t createdAt = 0;
    std::int64_t touchedAt = 0;
};

// A part that arrived whole.
struct StoredPart {
    int number = 0;
    std::int64_t size = 0;
    QString etag;
    bool inPlace = false; // in the upload's content, rather than a file of its own
};

// The rows of uploads in progress, read and written inside the caller's transaction.
namespace UploadSessions {

void insert(Connection &connection, const UploadSession &upload);
// The account's upload of that id; another account's is not found.
std::optional<UploadSession> find(Connection &connection, std::int64_t accountId,
                                  const QString &uploadId);
// Whichever account it belongs to: the storage side knows uploads by their id alone.
std::optional<UploadSession> findAnyAccount(Connection &connection, const QString &uploadId);

// Records a part (a part sent again replaces the one before) and marks the upload active.
void recordPart(Connection &connection, const QString &uploadId, const StoredPart &part,
                std::int64_t now);
// A part being sent again into its place: until it arrives whole, the upload has none.
void forgetPart(Connection &connection, const QString &uploadId, int number);
// In part-number order.
std::vector<StoredPart> parts(Connection &connection, const QString &uploadId);

// The rows of the upload and of its parts.
void remove(Connection &connection, const QString &uploadId);

// Uploads whose last part (or opening) was at `last` or earlier.
std::vector<UploadSession> idleSince(Connection &connection, std::int64_t last);
std::vector<UploadSession> ofAccount(Connection &connection, std::int64_t accountId);

} // namespace UploadSessions

// The tables of multipart uploads in progress.
SchemaModule uploadsSchema();

} // namespace OrvelanNimbal::Service
