// SPDX-License-Identifier: GPL-3.0-or-later
// The drive of each account: folders, files, thumbnails, and the bookkeeping of its change feed.
// The content of files lives on disk in the content store; a row names it by its key.
#include "drive/DriveStore.h"

#include "foundation/Schema.h"

namespace OrvelanNimbal::Service {

namespace {

const char *const version1 = R"sql(
-- One sequence for folders and files alike: an id names one item of the whole service, so a
-- file and a folder never share one. A test may move it far up to prove ids travel exactly.
CREATE TABLE drive_id_sequence (
    singleton INTEGER PRIMARY KEY CHECK (singleton = 1),
    next_id INTEGER NOT NULL
);
INSERT INTO drive_id_sequence (singleton, next_id) VALUES (1, 1);

-- Where each account's change feed stands. Every mutation takes the next cursor and stamps the
-- items it touched with it; the feed answers from any cursor between oldest and last.
CREATE TABLE drive_accounts (
    account_id INTEGER PRIMARY KEY REFERENCES accounts(id) ON DELETE CASCADE,
    last_cursor INTEGER NOT NULL DEFAULT 0,
    oldest_cursor INTEGER NOT NULL DEFAULT 0
);

CREATE TABLE drive_folders (
    id INTEGER PRIMARY KEY,
    account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    id_parent INTEGER NOT NULL DEFAULT 0,  -- 0: the top of the drive
    folder_name TEXT NOT NULL,
    date_creation INTEGER NOT NULL,        -- seconds since 1970, like every date here
    date_modified INTEGER NOT NULL,
    to_delete INTEGER NOT NULL DEFAULT 0,  -- 1: in the trash
    changed_at INTEGER NOT NULL            -- cursor of the last mutation that touched it
);
CREATE INDEX drive_folders_by_parent ON drive_folders(account_id, id_parent);
CREATE INDEX drive_folders_by_change ON drive_folders(account_id, changed_at);

CREATE TABLE drive_files (
    id INTEGER PRIMARY KEY,
    account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    id_folder INTEGER NOT NULL DEFAULT 0,  -- 0: the top of the drive
    file_name TEXT NOT NULL,
    file_size INTEGER NOT NULL,            -- bytes of the current content
    content_key TEXT NOT NULL,             -- the content in the content store ("file_path")
    content_hash TEXT NOT NULL,            -- SHA-256 of the content, lower-case hexadecimal
    content_type TEXT NOT NULL DEFAULT 'application/octet-stream',
    storage_class TEXT NOT NULL DEFAULT 'standard',
    thumbnail_path TEXT,                   -- one thumbnail key or a JSON array of keys
    locked INTEGER NOT NULL DEFAULT 0,     -- 1: open in the online editor, content frozen
    date_creation INTEGER NOT NULL,
    date_modified INTEGER NOT NULL,
    date_upload INTEGER NOT NULL,          -- when the current content was stored: its version
    to_delete INTEGER NOT NULL DEFAULT 0,
    changed_at INTEGER NOT NULL
);
CREATE INDEX drive_files_by_folder ON drive_files(account_id, id_folder);
CREATE INDEX drive_files_by_change ON drive_files(account_id, changed_at);

-- Thumbnails are small images kept whole; a key is whatever text the file record names.
CREATE TABLE drive_thumbnails (
    id INTEGER PRIMARY KEY,
    account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
    thumbnail_key TEXT NOT NULL,
    content_type TEXT NOT NULL,
    image BLOB NOT NULL,
    UNIQUE (account_id, thumbnail_key)
);
)sql";

// Files under reinforced protection: listed and downloadable, but their content is never
// replaced (a replace is refused with the "reinforced" conflict).
const char *const version2 = R"sql(
ALTER TABLE drive_files ADD COLUMN reinforced INTEGER NOT NULL DEFAULT 0;
)sql";

} // namespace

SchemaModule driveSchema()
{
    return {"drive", {version1, version2}};
}

} // namespace OrvelanNimbal::Service
