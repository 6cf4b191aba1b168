// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/StreamedFile.h"

#include "foundation/DataDirectory.h"
#include "foundation/Secrets.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace OrvelanNimbal::Service {

namespace {

constexpr std::size_t bufferSize = 1024 * 1024;

[[noreturn]] void diskRefused(const char *what, int error)
{
    throw std::runtime_error(std::string("écriture sur le disque impossible (") + what
                             + ") : " + std::strerror(error));
}

} // namespace

StreamedFile::StreamedFile(const std::filesystem::path &folder, Hashing hashing)
    : m_buffer(std::make_unique_for_overwrite<char[]>(bufferSize))
{
    if (hashing == Hashing::on)
        m_digest.emplace();
    std::error_code error;
    createPrivateFolders(folder, error);
    if (error)
        diskRefused("dossier", error.value());
    m_path = folder / ("." + randomBytes(8).toHex().toStdString() + ".partial");
    m_descriptor = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (m_descriptor < 0)
        diskRefused("création", errno);
}

StreamedFile::~StreamedFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    if (!m_kept) {
        std::error_code ignored; // nothing more can be done about a file that will not go
        std::filesystem::remove(m_path, ignored);
    }
}

void StreamedFile::write(const char *data, std::size_t length)
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

void StreamedFile::flush()
{
    std::size_t written = 0;
    while (written < m_buffered) {
        const ssize_t result =
            ::write(m_descriptor, m_buffer.get() + written, m_buffered - written);
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0)
            diskRefused("écriture", errno);
        written += std::size_t(result);
    }
    m_buffered = 0;
}

QString StreamedFile::finish()
{
    flush();
    const int descriptor = m_descriptor;
    m_descriptor = -1;
    if (::close(descriptor) != 0)
        diskRefused("fermeture", errno);
    return m_digest ? m_digest->hex() : QString();
}

void StreamedFile::keep(const std::filesystem::path &destination)
{
    keepFile(m_path, destination);
    m_kept = true;
}

void keepFile(const std::filesystem::path &file, const std::filesystem::path &destination)
{
    std::error_code error;
    createPrivateFolders(destination.parent_path(), error);
    if (!error)
        std::filesystem::rename(file, destination, error);
    if (error)
        diskRefused("renommage", error.value());
}

} // namespace OrvelanNimbal::Service
