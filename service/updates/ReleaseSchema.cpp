// SPDX-License-Identifier: GPL-3.0-or-later
// The releases the update feed lists. Their files live beside the database, in "updates/".
#include "updates/Releases.h"

#include "foundation/Schema.h"

namespace OrvelanNimbal::Service {

namespace {

const char *const version1 = R"sql(
CREATE TABLE releases (
    id INTEGER PRIMARY KEY,
    version TEXT NOT NULL UNIQUE,        -- compared by clients, "1.4.0"
    display_version TEXT NOT NULL,       -- shown to users, "1.4"
    minimum_system_version TEXT,         -- NULL: runs everywhere
    notes TEXT NOT NULL DEFAULT '',
    notes_link TEXT,
    published_at INTEGER NOT NULL,       -- seconds since 1970
    file_name TEXT NOT NULL,             -- in the "updates" folder of the data directory
    length INTEGER NOT NULL,
    type TEXT NOT NULL,
    signature TEXT NOT NULL              -- Ed25519 of the file's bytes, base64
);
)sql";

} // namespace

SchemaModule releasesSchema()
{
    return {"updates", {version1}};
}

} // namespace OrvelanNimbal::Service
