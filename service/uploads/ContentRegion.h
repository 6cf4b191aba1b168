// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

namespace OrvelanNimbal::Service {

class ContentDigest;

// A part written into its place in its upload's content file as it arrives: from `offset` on,
// the places of the other parts untouched (the file is created, sparse, by the first part to
// come). Writes go through a buffer of their own, as StreamedFile's do, and each byte also goes
// to `digest` when one is given.
class ContentRegion {
public:
    // Throws std::runtime_error (in French) when the disk refuses, as every method does.
    ContentRegion(const std::filesystem::path &file, std::int64_t offset, ContentDigest *digest);
    ~ContentRegion();
    ContentRegion(const ContentRegion &) = delete;
    ContentRegion &operator=(const ContentRegion &) = delete;

    void write(const char *data, std::size_t length);
    std::int64_t size() const { return m_size; }
    // Writes what the buffer holds and closes the file.
    void finish();

private:
    void flush();

    int m_descriptor = -1;
    std::int64_t m_offset;
    ContentDigest *m_digest;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_buffered = 0;
    std::int64_t m_flushed = 0; // written to the file, from `offset`
    std::int64_t m_size = 0;    // received
};

} // namespace OrvelanNimbal::Service
