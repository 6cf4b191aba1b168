// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

namespace Bench {

// A file of pseudo-random bytes in $TMPDIR (or /tmp), written a block at a time so that making
// a gigabyte never holds more than one block, and deleted with this object.
class GeneratedFile {
public:
    explicit GeneratedFile(std::int64_t size);
    ~GeneratedFile();
    GeneratedFile(const GeneratedFile &) = delete;
    GeneratedFile &operator=(const GeneratedFile &) = delete;

    bool isValid() const { return !m_path.isEmpty(); }
    const QString &path() const { return m_path; }
    std::int64_t size() const { return m_size; }
    // SHA-256 in lower-case hexadecimal, as an upload announces it.
    const QString &sha256() const { return m_sha256; }

private:
    QString m_path;
    std::int64_t m_size = 0;
    QString m_sha256;
};

} // namespace Bench
