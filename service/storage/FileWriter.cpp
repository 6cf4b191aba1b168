// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/FileWriter.h"

#include "foundation/DataDirectory.h"
#include "storage/ContentDigest.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace OrvelanNimbal::Service {

namespace {

constexpr std::size_t bufferSize = 1024 * 1024;

} // namespace

void diskRefused(const char *what, int error)
{
    throw std::runtime_error(std::string("écriture sur le disque impossible (") + what
                             + ") : " + std::strerror(error));
}

int openForWriting(const std::filesystem::path &file, bool exclusive)
{
    std::error_code error;
    createPrivateFolders(file.parent_path(), error);
    if (error)
        diskRefused("dossier", error.value());
    const int descriptor =
        ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : 0), 0600);
    if (descriptor < 0)
        diskRefused("création", errno);
    return descriptor;
}

FileWriter::FileWriter(int descriptor, std::int64_t offset, ContentDigest *digest)
    : m_descriptor(descriptor)
    , m_offset(offset)
    , m_digest(digest)
    , m_buffer(std::make_unique_for_overwrite<char[]>(bufferSize))
{}

FileWriter::~FileWriter()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

void FileWriter::write(const char *data, std::size_t length)
{
    if (m_digest)
        m_digest->add(data, length);
    m_size += std::int64_t(length);
    while (length > 0) {
        const std::size_t room = std::min(length, bufferSize - m_buffered);
        std::memcpy(m_buffer.get() + m_buffered, data, room);
        m_buffered += room;
        data += room;
        length -= room;
        if (m_buffered == bufferSize)
            flush();
    }
}

void FileWriter::flush()
{
    std::size_t written = 0;
    while (written < m_buffered) {
        const ssize_t result = ::pwrite(m_descriptor, m_buffer.get() + written,
                                        m_buffered - written, off_t(m_offset + m_flushed));
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0)
            diskRefused("écriture", errno);
        written += std::size_t(result);
        m_flushed += result;
    }
    m_buffered = 0;
}

void FileWriter::finish()
{
    flush();
    const int descriptor = m_descriptor;
    m_descriptor = -1;
    if (::close(descriptor) != 0)
        diskRefused("fermeture", errno);
}

} // namespace OrvelanNimbal::Service
