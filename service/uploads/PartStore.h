// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <filesystem>

namespace OrvelanNimbal::Service {

// The parts of multipart uploads on disk, in "<data>/uploads/<account>/<upload id>/": the
// upload's content, its parts written into their places as they arrive ("content"), and parts
// cut otherwise than the service suggests, each a file of its own ("<part number>") written
// whole before it takes its number. Upload ids are the service's own (32
// hexadecimal digits); anything else names no folder, so no request can reach outside.
class PartStore {
public:
    explicit PartStore(std::filesystem::path root);
    // The store of the service whose data directory this is.
    static PartStore inDataDirectory(const std::filesystem::path &dataDirectory);

    // Throws std::runtime_error for an id the service cannot have made.
    std::filesystem::path folderOf(std::int64_t accountId, const QString &uploadId) const;
    std::filesystem::path partPath(std::int64_t accountId, const QString &uploadId,
                                   int number) const;
    // The upload's content as its parts are written into their places ("<folder>/content").
    std::filesystem::path contentPath(std::int64_t accountId, const QString &uploadId) const;

    // The upload's folder and everything in it, finished or half-written.
    void removeUpload(std::int64_t accountId, const QString &uploadId) const;
    // Files under the account's folder, half-written ones included: what a test checks is gone.
    int countFiles(std::int64_t accountId) const;

    const std::filesystem::path &root() const { return m_root; }

private:
    std::filesystem::path m_root;
};

} // namespace OrvelanNimbal::Service
