// SPDX-License-Identifier: GPL-3.0-or-later
// Multipart uploads in progress: what each was opened for, and the parts stored so far. The
// parts' bytes are on disk (PartStore); a row says a part arrived whole, with its ETag.
#include "uploads/UploadSessions.h"

#include "foundation/Schema.h"

namespace OrvelanNimbal::Service {

namespace {

const char *const version1 = R"sql(
CREATE TABLE uploads (
    upload_id TEXT PRIMARY KEY,            -- 32 random hexadecimal digits
    account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    content_key TEXT NOT NULL,             -- where the assembled content goes ("s3_key")
    file_size INTEGER NOT NULL,            -- announced when opened; the parts must add up to it
    created_at INTEGER NOT NULL,
    touched_at INTEGER NOT NULL            -- last part stored: idle uploads are swept away
);
CREATE INDEX uploads_by_idleness ON uploads(touched_at);

CREATE TABLE upload_parts (
    upload_id TEXT NOT NULL REFERENCES uploads(upload_id) ON DELETE CASCADE,
    part_number INTEGER NOT NULL,
    part_size INTEGER NOT NULL,
    etag TEXT NOT NULL,                    -- as sent to the client, quotes included
    PRIMARY KEY (upload_id, part_number)
);
)sql";

// Parts cut as the service suggests are written straight into their place in the upload's
// content; the others stay files of their own until the completion copies them.
const char *const version2 = R"sql(
ALTER TABLE upload_parts ADD COLUMN in_place INTEGER NOT NULL DEFAULT 0;
)sql";

} // namespace

SchemaModule uploadsSchema()
{
    return {"uploads", {version1, version2}};
}

} // namespace OrvelanNimbal::Service
