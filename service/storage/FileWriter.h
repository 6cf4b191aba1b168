// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

namespace OrvelanNimbal::Service {

class ContentDigest;

// Bytes written into an open file from `offset` on as they arrive, through a buffer of their
// own: the HTTP library hands a body over a few kilobytes at a time, and a system call per piece
// would cost more than the disk. Each byte also goes to `digest` when one is given. Every
// method throws std::runtime_error (in French) when the disk refuses.
class FileWriter {
public:
    // Takes the descriptor, and closes it.
    FileWriter(int descriptor, std::int64_t offset, ContentDigest *digest);
    ~FileWriter();
    FileWriter(const FileWriter &) = delete;
    FileWriter &operator=(const FileWriter &) = delete;

    void write(const char *data, std::size_t length);
    std::int64_t size() const { return m_size; } // received so far
    // Writes what the buffer holds and closes the file.
    void finish();

private:
    void flush();

    int m_descriptor;
    std::int64_t m_offset;
    ContentDigest *m_digest;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_buffered = 0;
    std::int64_t m_flushed = 0; // written to the file, from `offset`
    std::int64_t m_size = 0;
};

// `file` opened for writing (created when missing, readable by the service only, its folders
// made first); with `exclusive`, a file already there is an error.
int openForWriting(const std::filesystem::path &file, bool exclusive);

[[noreturn]] void diskRefused(const char *what, int error);

} // namespace OrvelanNimbal::Service
