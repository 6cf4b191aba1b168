// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/StreamedFile.h"

#include "foundation/DataDirectory.h"
#include "foundation/Secrets.h"
#include "storage/FileWriter.h"

namespace OrvelanNimbal::Service {

StreamedFile::StreamedFile(const std::filesystem::path &folder, Hashing hashing)
    : m_path(folder / ("." + randomBytes(8).toHex().toStdString() + ".partial"))
{
    if (hashing == Hashing::on)
        m_digest.emplace();
    m_writer = std::make_unique<FileWriter>(openForWriting(m_path, true), 0,
                                            m_digest ? &*m_digest : nullptr);
}

StreamedFile::~StreamedFile()
{
    m_writer.reset(); // closed before it goes
    if (!m_kept) {
        std::error_code ignored; // nothing more can be done about a file that will not go
        std::filesystem::remove(m_path, ignored);
    }
}

void StreamedFile::write(const char *data, std::size_t length)
{
    m_writer->write(data, length);
}

std::int64_t StreamedFile::size() const
{
    return m_writer->size();
}

QString StreamedFile::finish()
{
    m_writer->finish();
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
