// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "storage/ContentDigest.h"

#include <QString>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

namespace OrvelanNimbal::Service {

class FileWriter;

// A file written as its bytes arrive, hashed on the way, under a temporary name in the folder
// where it will live. Only keep() gives it its final name, in one rename, so that no reader
// ever meets half a file; a file not kept is deleted when this object goes, whatever ended the
// request (a refusal, a broken connection, an exception).
class StreamedFile {
public:
    // Whether what is written is hashed too (finish() gives the hash, or an empty text).
    enum class Hashing { on, off };

    // Creates "<folder>/.<random>.partial" (and the folder), readable by the service only.
    // Throws std::runtime_error (in French) when the disk refuses. A ".partial" file that
    // outlives its process (a kill) is removed when the service starts again.
    explicit StreamedFile(const std::filesystem::path &folder, Hashing hashing = Hashing::on);
    ~StreamedFile();
    StreamedFile(const StreamedFile &) = delete;
    StreamedFile &operator=(const StreamedFile &) = delete;

    void write(const char *data, std::size_t length);
    std::int64_t size() const;

    // Flushes and closes; the SHA-256 of everything written (empty without hashing). Call
    // once, before keep().
    QString finish();
    // Where it is written, until it is kept; whoever renames it from there keeps it too.
    const std::filesystem::path &path() const { return m_path; }
    // Renames the finished file to `destination` (same file system), replacing what was there.
    void keep(const std::filesystem::path &destination);

private:
    std::filesystem::path m_path;
    std::optional<ContentDigest> m_digest;
    std::unique_ptr<FileWriter> m_writer; // through a buffer of its own
    bool m_kept = false;
};

// Renames a finished file to `destination` (same file system), making its folders first and
// replacing what was there. Throws std::runtime_error (in French) when the disk refuses.
void keepFile(const std::filesystem::path &file, const std::filesystem::path &destination);

} // namespace OrvelanNimbal::Service
