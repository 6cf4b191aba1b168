// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>

namespace OrvelanNimbal::Service {

// The content of files, one file on disk per key under the data directory's "storage" folder.
// Keys are made here, never taken from a client: letters, digits, "-" and "_" in segments
// separated by "/", so that no key can reach outside the store.
class ContentStore {
public:
    explicit ContentStore(std::filesystem::path root);
    // The store of the service whose data directory this is.
    static ContentStore inDataDirectory(const std::filesystem::path &dataDirectory);

    // A fresh key for a new content of an account: "drive/<account>/<32 hex digits>".
    static QString newKey(std::int64_t accountId);

    // Stores `bytes` under `key`, atomically: a reader meets the whole old file or the whole new
    // one. Throws std::runtime_error (in French) when the disk refuses.
    void write(const QString &key, QByteArrayView bytes) const;
    // Where the content of a key is (whether or not it exists); nothing for a malformed key.
    std::optional<std::filesystem::path> pathOf(const QString &key) const;
    void remove(const QString &key) const;

    const std::filesystem::path &root() const { return m_root; }

private:
    std::filesystem::path m_root;
};

// The hash the drive records of a content: SHA-256 in lower-case hexadecimal, as clients
// compute it on their side.
QString contentHash(QByteArrayView bytes);

} // namespace OrvelanNimbal::Service
